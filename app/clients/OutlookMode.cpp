#include "app/clients/OutlookMode.h"

#include "app/base/RunProcess.h"
#include "common/Text.h"

namespace quillet {

QString OutlookModeName(OutlookMode mode) {
    switch (mode) {
        case OutlookMode::new_:
            return "new";
        case OutlookMode::legacy:
            return "legacy";
        case OutlookMode::unknown:
            return "unknown";
    }
    return "unknown";
}

OutlookModeResult ClassifyOutlookModeProbe(const QString& output, const QString& errorOutput) {
    const QString probeText =
        "IsRunningNewOutlook output: \"" + output + "\", error: \"" + errorOutput + "\"";
    OutlookMode mode = OutlookMode::unknown;
    if (output == "1") {
        mode = OutlookMode::new_;
    } else if (output == "0") {
        mode = OutlookMode::legacy;
    } else if (errorOutput.contains("does not exist")) {
        // The preference was never set: an Outlook that has never switched to the new one.
        mode = OutlookMode::legacy;
    }
    return {mode, probeText};
}

OutlookModeResult GetOutlookMode(const Paths& paths) {
    const ProcessOutput result =
        RunProcess(paths.system("/usr/bin/defaults"),
                   {"read", "com.microsoft.Outlook", "IsRunningNewOutlook"});
    return ClassifyOutlookModeProbe(TrimmedText(result.standardOutput.value_or(QString())),
                                    result.lastErrorLine.value_or(QString()));
}

OutlookModeProbe::OutlookModeProbe(const Paths& paths) : _paths(paths) {}

const OutlookModeResult& OutlookModeProbe::get() const {
    std::call_once(_once, [this] { _result = GetOutlookMode(_paths); });
    return *_result;
}

}  // namespace quillet
