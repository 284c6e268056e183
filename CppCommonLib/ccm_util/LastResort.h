#pragma once

#include <functional>

// The last line at a thread's entry and at the UI's dispatch: an exception that a library lets
// out (and nothing nearer caught) is logged under `where` and the work counts as failed, instead
// of ending the program through std::terminate.
namespace ccm_util {

// body's result, or false when it threw.
bool CallGuarded(const char* where, const std::function<bool()>& body);
// Runs body; false when it threw.
bool RunGuarded(const char* where, const std::function<void()>& body);
// Logs the exception in flight; call from a catch block.
void LogEscapedException(const char* where);

}  // namespace ccm_util
