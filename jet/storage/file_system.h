// Files by name, beside the File handle: whether one exists, removing it,
// putting a complete copy in its place in one step, and making a folder's
// entries (a file created, renamed or removed) durable. Paths are UTF-8;
// file_system_posix.cc and file_system_win32.cc are the two systems' ways.
#ifndef MDBCARE_JET_STORAGE_FILE_SYSTEM_H_
#define MDBCARE_JET_STORAGE_FILE_SYSTEM_H_

#include <string>

namespace jet {

// Whether `path` names a normal file (a symbolic link to one included).
bool IsNormalFile(const std::string& path);

// Removes the file `path`; nothing happens when there is none. Raises 3043
// when it cannot be removed.
void RemoveFile(const std::string& path);

// Puts `copy` in the place of `path` in one rename over it, so that no
// moment is without a whole file at `path`. The copy is made durable first
// and gets the original's permissions (and owner, where the process may
// give it; on Windows the original's attributes, such as hidden or
// archive). Raises 3043 when a step fails; `path` is then as it was.
void ReplaceWithCopy(const std::string& path, const std::string& copy);

// The same, keeping the file that was at `path` under `kept_as` (a new
// name in the same folder): afterwards `kept_as` holds the old file and
// `path` the copy. Raises 3043 when a step fails; `path` is then as it
// was.
void ReplaceWithCopyKeepingOriginal(const std::string& path,
                                    const std::string& copy,
                                    const std::string& kept_as);

// Makes the entries of the folder holding `path` durable: a file created,
// renamed or removed there stays so after a crash. Raises 3043 when the
// folder cannot be synced. On Windows, where a folder can be flushed only
// by its volume's administrator, a refused flush is not an error: NTFS
// journals its folder entries itself.
void SyncFolderOf(const std::string& path);

// The file a path names: a symbolic link is followed, so that a file is
// replaced and not the link to it. Other paths come back unchanged.
std::string RealFilePath(const std::string& path);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_FILE_SYSTEM_H_
