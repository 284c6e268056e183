#include "LastResort.h"

#include <exception>

#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\ccm_util\\LastResort"

namespace ccm_util {

void LogEscapedException(const char* where) {
    try {
        throw;
    } catch (const std::exception& e) {
        VLOG_ERROR("thread", where, "stopped by an exception: %s", e.what());
    } catch (...) {
        VLOG_ERROR("thread", where, "stopped by an exception of unknown type");
    }
}

bool CallGuarded(const char* where, const std::function<bool()>& body) {
    try {
        return body();
    } catch (...) {
        LogEscapedException(where);
        return false;
    }
}

bool RunGuarded(const char* where, const std::function<void()>& body) {
    return CallGuarded(where, [&body] {
        body();
        return true;
    });
}

}  // namespace ccm_util
