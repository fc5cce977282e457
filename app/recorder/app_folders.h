// Where the program finds what it ships and where it puts recordings.
//
// Shipped files (sample.wav, the user guide, the stored layouts and their pictures) are read
// from beside the program, else from the installed data folder (bin/../share/quillon; the build
// tree is laid out the same way). Recordings go to the program's folder when it is writable,
// else to the user's music folder + "/Quillon", created when missing.
#pragma once

#include <QString>
#include <functional>

namespace quillon::recorder {

// The folder that holds the running program, without a trailing separator.
QString program_folder();
// The installed data folder of a program in `program_folder`.
QString data_folder(const QString& program_folder);
// `name` beside the program when it is there, else in the data folder (whether there or not).
QString shipped_file(const QString& program_folder, const QString& name);

// Whether files can be created in `folder` (tried, so that a read-only file system says no even
// to the superuser).
bool folder_writable(const QString& folder);
// The user's music folder: what `xdg-user-dir MUSIC` says, else ~/Music.
QString user_music_folder();

// The application folder as above. A folder that cannot be created is returned all the same:
// recording into it then fails with the control's "File open error".
QString recordings_folder(const QString& program_folder,
                          const std::function<bool(const QString&)>& writable = folder_writable,
                          const std::function<QString()>& music_folder = user_music_folder);

}  // namespace quillon::recorder
