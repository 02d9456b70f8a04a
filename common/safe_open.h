// Opening files in folders that every local user may write (/tmp): there anyone can
// plant a symbolic link, a hard link to another file, a FIFO or a file of their own
// at the name before we open it.
#pragma once

// What a refused file is said to be, for the caller's report.
extern const char kSafeOpenSymlink[];  // "it is a symbolic link"
extern const char kSafeOpenNotOurs[];  // "not a regular file with one link owned by root"

// Receives the path and why it was refused (one of the texts above).
typedef void (*SafeOpenReport)(const char *path, const char *why);

// Opens path with flags, close-on-exec, and keeps it only when it is a regular file
// with one link owned by our effective user (root on the camera). A symbolic link is
// never followed; a FIFO never blocks the open (the descriptor is made blocking again
// unless flags ask for O_NONBLOCK); O_TRUNC cuts the file only once it is known to be
// ours. O_CREAT creates the file owner-only (0600), so that no other user can open it
// and hold a lock on it.
//
// Returns the descriptor, or -1 with errno set. A refused file is left as it is, is
// handed to report (when not null), and sets errno to ELOOP (a symbolic link) or
// EPERM (anything else that is not ours); other failures keep open's errno.
int safe_open(const char *path, int flags, SafeOpenReport report);
