// What a running copy of the program offers to `zarvo --record`, `--pause`, `--stop` and
// `--status` from another process. The main window implements it: the first three run what its
// hotkeys Ctrl+R, Ctrl+P and Ctrl+S run, status() says what it is doing.
#pragma once

#include <QString>

class RemoteTarget {
  public:
    enum class Activity { idle, recording, paused, playing };
    struct Status {
        Activity activity = Activity::idle;
        // The file being recorded or played; when idle, the file the next recording goes to.
        QString file;
        // Of the recording (its seconds counter) or of the playback (its position); 0 when idle.
        double seconds = 0;
    };

    virtual ~RemoteTarget() = default;
    virtual void record() = 0;
    virtual void pause_or_continue() = 0;
    virtual void stop() = 0;
    virtual Status status() const = 0;
};
