#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

// Reading and replacing whole files, the way every command of the program does
// it. Paths are the file system's own bytes, passed through unchanged. Failures
// are returned as error codes (the system's errno values on POSIX), never thrown.
namespace vark::platform {

// Names that are refused before anything is opened for writing: what another
// user could have put in the caller's way.
enum class NameRefusal {
    kForeignLink = 1,    // a link in a shared folder made by someone else
    kForeignFile,        // someone else's file in a shared folder
    kDeviceThroughLink,  // a device or FIFO reached through a link
    kBlockDevice,        // a disk or partition
};

// The refusals' category. The first two compare equal to
// std::errc::permission_denied, the others to std::errc::operation_not_permitted.
const std::error_category& NameRefusalCategory();
std::error_code make_error_code(NameRefusal refusal);

// Reads at most `maxBytes` from the start of the file at `path` into `out`
// (replacing what it held). Only regular files are read: the file is opened
// without waiting (a FIFO with no writer, a device) and anything that is not a
// regular file fails at once with std::errc::is_a_directory (directories) or
// std::errc::invalid_argument (FIFOs, sockets, devices). A read error fails the
// call; a file shorter than `maxBytes` is read whole.
std::error_code ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out);

// Makes `bytes` the whole content of the file at `path`, so that a failure at
// any point leaves the old content (or no file) and a power cut leaves either
// the old or the new file, never a mix or an empty one. On success the data
// has reached the disk.
//
// - An empty path fails with std::errc::invalid_argument.
// - Names are looked up one folder at a time, each relative to the folder
//   before it, so the file checked is the file written. Symbolic links are
//   followed to the name they end at, and the links stay; but in a shared
//   folder (sticky and writable by everyone, such as /tmp) only a link made by
//   the caller or by the folder's owner is followed, and a file there that
//   belongs to someone else is not written (NameRefusal, whatever the
//   system's own settings for such folders).
// - A missing target is created (mode 0666 less the umask); its folder must
//   be writable.
// - An existing target that is not a regular file (a device such as /dev/null
//   or /dev/full, a FIFO) is written straight into, never renamed over, but
//   only when its own name was given, not a link to it; a block device is
//   never written, and both are refused before the device is opened. A
//   directory fails with std::errc::is_a_directory.
// - An existing regular file that the caller may not write is refused before
//   anything is written (std::errc::permission_denied or the system's reason).
// - Otherwise a temporary file with a short name is written in the same
//   folder, given the old file's owner, group and mode, flushed to disk and
//   renamed over the target; then the folder is flushed.
// - Where that cannot keep the file as it was (the folder is not writable, the
//   file has more than one link, its owner cannot be kept), the file is written
//   in place: its new size is reserved first, so a full disk fails before any
//   old byte changes, then the bytes are written and the file cut to length.
//
// On Windows the rules for links, owners, shared folders and in-place writing
// do not apply: a read-only target is refused, and otherwise a temporary file
// beside the target is flushed and moved over it with write-through, so the
// replaced file's links and security settings are those of a new file.
std::error_code ReplaceFileContents(const std::string& path, std::string_view bytes);

// The same two for a path as the system names it: on Windows its UTF-16
// name, whatever the ANSI code page (which a std::string path goes through)
// can hold; elsewhere its bytes.
std::error_code ReadPathStart(const std::filesystem::path& path, std::size_t maxBytes,
                              std::string& out);
std::error_code ReplacePathContents(const std::filesystem::path& path, std::string_view bytes);

#ifndef _WIN32
// Opens the file at `path` for appending, as a log is written: the name is
// looked up under the rules of ReplaceFileContents (links, shared folders,
// devices), a missing file is created exclusively (mode 0666 less the umask),
// and an existing one must be a file the caller may write. On success `fd` is
// the open descriptor (close-on-exec), owned by the caller.
std::error_code OpenForAppending(const std::string& path, int& fd);
#endif

// The operations of a save that decide what survives a failure or a power
// cut, as FileOpObserver sees them.
enum class FileOp {
    Write,       // bytes written to the temporary file or the target
    SyncFile,    // the written file flushed to the disk
    Rename,      // the temporary file renamed over the target
    SyncFolder,  // the folder flushed after the rename
    Reserve,     // the new size reserved before a write in place
    Truncate,    // the file cut to a length
};

// A seam for tests, which cannot see these operations on a real disk: when
// set, the observer is told of each operation of ReplaceFileContents after it
// ran, with its outcome (0 or the system's error number), and returns the
// outcome the save goes on with, so that a test can record their order or make
// one fail. The program never sets one. Returns the previous observer; not for
// use while a save runs on another thread.
using FileOpObserver = std::function<int(FileOp op, int error)>;
FileOpObserver SetFileOpObserver(FileOpObserver observer);

// How the names of ReplaceFileContents' temporary files begin (hidden, short,
// six random characters follow), so that listings and tests can tell them apart.
inline constexpr std::string_view kTempFilePrefix = ".vark-";

}  // namespace vark::platform

template <>
struct std::is_error_code_enum<vark::platform::NameRefusal> : std::true_type {};
