#pragma once

#include <mutex>
#include <thread>
#include <vector>

#include "Doctor.h"
#include "toolkit/HostWindow.h"

class QLabel;
class QPushButton;
class QTextBrowser;

// The "诊断" dialog: runs the doctor's checks on a worker and shows each one's level, what it
// found and what to do. The window stays live while the checks run; the worker posts its result.
class CDlgDoctor : public toolkit::CHostDialog {
    Q_OBJECT
public:
    static constexpr uint32_t kMsgChecksDone = 1140;

    explicit CDlgDoctor(QWidget* owner, doctor::Options options = {});
    // Waits for a run in progress: the checks are bounded, and the worker uses this dialog's
    // results.
    ~CDlgDoctor() override;

    static void RegisterLayout();

    // Starts a run unless one runs already.
    void StartChecks();
    bool Running() const { return m_running; }
    const std::vector<doctor::CheckResult>& Results() const { return m_shown; }

private:
    void OnChecksDone();
    void Show();
    void JoinWorker();

    doctor::Options m_options;
    QTextBrowser* m_result = nullptr;
    QLabel* m_state = nullptr;
    QPushButton* m_again = nullptr;
    bool m_running = false;
    std::thread m_worker;
    std::mutex m_mutex;
    std::vector<doctor::CheckResult> m_done;  // filled by the worker, under m_mutex
    std::vector<doctor::CheckResult> m_shown;
};
