// Deleting the product's files. Nothing goes to the recycle bin. The running
// uninstaller cannot delete itself, so a hidden batch script does it once the
// process has ended.
#pragma once

#include <string>

// None of these follows a junction or symbolic link, inside or at the top: a
// link is removed as a link, what it points to stays untouched. Each entry
// is judged on its opened handle, and a folder being emptied is held open so
// that it cannot be swapped for a link meanwhile.

// Clears the read-only, hidden and system attributes, then deletes the file.
bool deleteFileForce(const std::wstring& path);
// Deletes everything inside FOLDER except top-level names beginning with a
// dot; the folder stays. True when every other top-level entry went.
bool clearFolder(const std::wstring& folder);
// Deletes FOLDER with everything in it; true when it is gone, false when it
// did not exist or something inside could not be deleted.
bool removeFolderTree(const std::wstring& folder);
// Deletes everything inside FOLDER, names beginning with a dot included;
// true when it is empty afterwards.
bool removeFolderContents(const std::wstring& folder);

// True for folders that no removal may empty or delete: drive roots, the
// Windows and system folders, the user's profile, the shell's special
// folders (desktop, documents, downloads, application data, program files,
// start menu, temporary folder, ...) and every folder above one of them.
// clearFolder, removeFolderTree and removeFolderContents skip them.
bool isProtectedFolder(const std::wstring& folder);

// Moves FILE into the run's private folder (PrivateTempDir.h) and writes a
// hidden batch script there that retries, about once a second, until the
// moved file can be deleted, then deletes itself and the folder if nothing
// else is left there. The script names only those two paths. A file that
// cannot be moved there (another drive) is deleted by the system at its next
// start. Nothing happens when FILE does not exist.
void deleteFileByBatch(const std::wstring& file);
// deleteFileByBatch on the running program.
void deleteSelf();
