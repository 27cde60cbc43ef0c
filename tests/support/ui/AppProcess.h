#pragma once
// The real Quillet program, started as a person's desktop would start it, on the offscreen
// platform in a home of its own, with the signature service at a loopback address that answers
// nothing (no test reaches the network).

#include <QProcess>
#include <QString>
#include <memory>

namespace quillet {

class AppProcess {
public:
    // home: the person's home; runtimeFolder: their XDG_RUNTIME_DIR (empty: unset).
    AppProcess(const QString& home, const QString& runtimeFolder);
    ~AppProcess();  // ends the program if it still runs

    void start();
    // Waits until the program ended; false when it still runs after `seconds`.
    bool waitForEnd(double seconds);
    bool isRunning() const;
    int exitCode() const { return _process->exitCode(); }
    QString output() const;  // what it wrote to standard error so far

    // The engine's log of that home exists: the program got past its start-up checks.
    static bool EngineStarted(const QString& home);

private:
    std::unique_ptr<QProcess> _process;
};

}  // namespace quillet
