#pragma once
// The platform's accessibility trust test (is this process a trusted Accessibility client?).

#include "platform/Paths.h"

namespace quillet {

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Asks without showing the system's prompt.
    virtual bool isProcessTrusted() const = 0;
    // Asks with the system's prompt, which offers to open the Accessibility list; where the
    // platform has no such prompt, the same as isProcessTrusted.
    virtual bool askToTrust() const { return isProcessTrusted(); }
};

// Without the platform's test (this Linux build): trusted when ROOT/var/run/accessibility/trusted
// exists, so that tests and the demo can grant and withhold it.
class FileAccessibility : public Accessibility {
public:
    explicit FileAccessibility(const Paths& paths);
    bool isProcessTrusted() const override;
    QString trustFilePath() const { return _trustFile; }

private:
    QString _trustFile;
};

}  // namespace quillet
