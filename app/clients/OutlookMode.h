#pragma once
// Whether Outlook's own preference says the new Outlook is in use. The new Outlook cannot be
// scripted, so while it is active (or while nobody can tell) Outlook is not offered as a client.

#include <QString>
#include <mutex>
#include <optional>

#include "platform/Paths.h"

namespace quillet {

// `new_` because "new" is taken; its printed name is "new".
enum class OutlookMode { new_, legacy, unknown };

// "new", "legacy" or "unknown".
QString OutlookModeName(OutlookMode mode);

struct OutlookModeResult {
    OutlookMode mode;
    QString probeText;  // "IsRunningNewOutlook output: "...", error: "..."", quoted by later lines
};

// The mode for what `defaults read com.microsoft.Outlook IsRunningNewOutlook` printed: its
// trimmed standard output and the last line of its error output.
OutlookModeResult ClassifyOutlookModeProbe(const QString& output, const QString& errorOutput);

// Runs ROOT/usr/bin/defaults once and classifies its answer. A tool that is missing or fails
// without saying that the preference does not exist gives `unknown`.
OutlookModeResult GetOutlookMode(const Paths& paths);

// The mode of this run: probed on first use, at most once even when first asked from several
// threads, and kept.
class OutlookModeProbe {
public:
    explicit OutlookModeProbe(const Paths& paths);
    const OutlookModeResult& get() const;

private:
    const Paths _paths;  // a copy: the probe may outlive the caller's paths
    mutable std::once_flag _once;
    mutable std::optional<OutlookModeResult> _result;
};

}  // namespace quillet
