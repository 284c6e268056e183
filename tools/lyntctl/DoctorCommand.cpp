// lyntctl doctor: the checks of the panel's "诊断" dialog, printed.
#include "Commands.h"
#include "CtlSession.h"
#include "Doctor.h"

namespace ctl {

int CmdDoctor(const Invocation& in) {
    if (!in.args.empty()) {
        in.out.Error("usage: lyntctl doctor");
        return kExitUsage;
    }
    doctor::Options options;
    options.devicePath = in.device;
    int failed = 0;
    for (const doctor::CheckResult& r : doctor::RunChecks(options)) {
        const std::string level = doctor::LevelName(r.level);
        std::string text = ("[" + level + "]   ").substr(0, 7) + r.title + "：" + r.found + "\n";
        if (!r.todo.empty()) {
            text += "       处理：" + r.todo + "\n";
        }
        text.pop_back();  // Emit ends the line
        Json::Value o;
        o["type"] = "check";
        o["id"] = r.id;
        o["level"] = level;
        o["title"] = r.title;
        o["found"] = r.found;
        o["todo"] = r.todo;
        in.out.Emit(text, o);
        failed += r.level == doctor::Level::Fail;
    }
    // The run itself is the job: it is done even when checks failed, which the lines say.
    Json::Value summary;
    summary["type"] = "summary";
    summary["failed"] = failed;
    in.out.Emit(failed ? std::to_string(failed) + " 项检查未通过" : "全部检查通过", summary);
    return kExitOk;
}

}  // namespace ctl
