#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "files.h"
#include "storage.h"

// fopen on a 32-bit system refuses files over 2 GiB unless file offsets are
// 64 bits wide. An emulator on a 64-bit host lets such opens through anyway,
// so the build checks it.
static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");

namespace {

bool same_inode(const struct stat& first, const struct stat& second) {
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// rename that fails rather than replace a file at `to`. Where the system or
// the file system has no such rename, a plain one: `to` is vexlo's own.
bool move_without_replacing(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
#endif
  struct stat taken {};
  return lstat(to, &taken) != 0 && errno == ENOENT && std::rename(from, to) == 0;
}

// A name is removed only while it still names the file written; through a
// symbolic link, the file it points to. The file is first moved to a name
// of vexlo's own, which a rename does not replace, and checked there: a
// file renamed onto the name meanwhile is put back, never removed.
void remove_if_still_named(const char* path, const struct stat& written) {
  struct stat named {};
  char* target =
      lstat(path, &named) == 0 && S_ISLNK(named.st_mode) ? realpath(path, nullptr) : nullptr;
  const char* name = target != nullptr ? target : path;
  int folder_length = 0;  // up to the last slash
  for (int i = 0; name[i] != '\0'; ++i) {
    folder_length = name[i] == '/' ? i + 1 : folder_length;
  }
  char aside[PATH_MAX + 64];
  const int length = std::snprintf(aside, sizeof aside, "%.*s.vexlo-removing-%ld", folder_length,
                                   name, static_cast<long>(getpid()));
  if (length > 0 && static_cast<std::size_t>(length) < sizeof aside && lstat(name, &named) == 0 &&
      S_ISREG(named.st_mode) && same_inode(named, written) && move_without_replacing(name, aside)) {
    if (lstat(aside, &named) == 0 && same_inode(named, written)) {
      (void)unlink(aside);
    } else {
      (void)move_without_replacing(aside, name);
    }
  }
  std::free(target);
}

// Where the name cannot go (a folder the user may not write), an empty file
// older than any palette is converted again by make and ninja.
bool empty_and_date_to_1970(int descriptor) {
  const bool emptied = ftruncate(descriptor, 0) == 0;
  const timespec epoch[2] = {{0, 0}, {0, 0}};
  return futimens(descriptor, epoch) == 0 && emptied;
}

// Another run writing the same output holds a lock on it until its close:
// this one waits for it, so that each output is the whole of one run's
// words. A file system without locks refuses the call, and runs go on
// without. The lock belongs to the open file, not the process.
void wait_for_other_writers(int descriptor) {
#ifdef F_OFD_SETLKW
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  while (fcntl(descriptor, F_OFD_SETLKW, &whole) != 0 && errno == EINTR) {
  }
#else
  (void)descriptor;
#endif
}

// Opens the output without emptying it, locked; `descriptor` stays -1
// where the name no longer names the file once the lock is had (a run that
// failed removed it meanwhile): then it is opened again. False where it
// cannot be opened at all.
bool open_locked(const char* path, int& descriptor, bool& created) {
  constexpr int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
  int opened = open(path, flags);
  created = opened < 0 && errno == ENOENT;
  if (created) {
    opened = open(path, flags | O_CREAT | O_EXCL, 0666);
    created = opened >= 0;
    if (opened < 0 && errno == EEXIST) {
      // A link to no file yet, or a file another made meanwhile.
      opened = open(path, flags | O_CREAT, 0666);
    }
  }
  if (opened < 0) {
    return false;
  }
  struct stat locked {};
  struct stat named {};
  wait_for_other_writers(opened);
  if (fstat(opened, &locked) == 0 && S_ISREG(locked.st_mode) &&
      (stat(path, &named) != 0 || !same_inode(named, locked))) {
    (void)close(opened);
    return true;
  }
  descriptor = opened;
  return true;
}

}  // namespace

std::FILE* open_input(const char* path) {
  std::FILE* input = std::fopen(path, "rb");
  struct stat info {};
  if (input != nullptr && fstat(fileno(input), &info) == 0 && S_ISDIR(info.st_mode)) {
    (void)std::fclose(input);
    return nullptr;
  }
  return input;
}

std::FILE* open_output(const char* path, std::FILE* input, bool& same_as_input) {
  struct stat in {};
  struct stat out {};
  same_as_input = false;
  if (fstat(fileno(input), &in) != 0) {
    return nullptr;
  }
  // Learnt while a descriptor is still free to read what Linux says.
  const input_places input_storage = places_of_input("", fileno(input), in);
  int descriptor = -1;
  bool created = false;
  for (int tries = 0; descriptor < 0 && tries < 8; ++tries) {
    if (!open_locked(path, descriptor, created)) {
      // Named by a user who may not write it, the input is still the input.
      same_as_input = stat(path, &out) == 0 && reaches_input("", input_storage, -1, out);
      return nullptr;
    }
  }
  if (descriptor < 0 || fstat(descriptor, &out) != 0) {
    if (descriptor >= 0) {
      (void)close(descriptor);
    }
    return nullptr;
  }
  if (reaches_input("", input_storage, descriptor, out)) {
    same_as_input = true;
    // A file this run made is no part of the input: it goes again.
    if (created) {
      remove_if_still_named(path, out);
    }
    (void)close(descriptor);
    return nullptr;
  }
  std::FILE* output = fdopen(descriptor, "wb");
  if (output == nullptr) {
    (void)close(descriptor);
    return nullptr;
  }
  (void)std::setvbuf(output, nullptr, _IONBF, 0);
  return output;
}

std::size_t read_output_start(std::FILE* output, const char* path, unsigned char* bytes,
                              std::size_t size) {
  struct stat written {};
  if (fstat(fileno(output), &written) != 0 || !S_ISREG(written.st_mode) || written.st_size == 0) {
    return 0;
  }
  // The output was opened for writing alone: open the same file again to
  // read, by its descriptor where Linux allows, else by its name.
  // "/proc/self/fd/N", without printf, which costs more than the rest of a
  // small run's own work.
  char own[32] = "/proc/self/fd/";
  char digits[12];
  int count = 0;
  for (unsigned number = static_cast<unsigned>(fileno(output)); count == 0 || number > 0;
       number /= 10) {
    digits[count++] = static_cast<char>('0' + number % 10);
  }
  for (std::size_t at = std::strlen(own); count > 0; ++at) {
    own[at] = digits[--count];  // the rest of `own` is zeros
  }
  int reader = open(own, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (reader < 0) {
    reader = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  }
  struct stat read {};
  ssize_t got = -1;
  if (reader >= 0 && fstat(reader, &read) == 0 && same_inode(read, written)) {
    got = pread(reader, bytes, size, 0);
  }
  if (reader >= 0) {
    (void)close(reader);
  }
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

// An empty file is left as it is: truncating it anyway would make ext4
// flush it when it is closed, as after replacing a file's contents.
bool empty_output(std::FILE* output) {
  struct stat written {};
  const int descriptor = fileno(output);
  return fstat(descriptor, &written) == 0 &&
         (!S_ISREG(written.st_mode) || written.st_size == 0 || ftruncate(descriptor, 0) == 0);
}

// The name goes before the descriptor closes: until then the lock keeps a
// waiting run from writing a file about to lose its name.
bool close_output(std::FILE* output, const char* path, bool discard) {
  struct stat written {};
  const int descriptor = fileno(output);
  const bool regular = fstat(descriptor, &written) == 0 && S_ISREG(written.st_mode);
  // A failed run needs no descriptor to spare: the stream's own empties it.
  if (regular && discard) {
    (void)empty_and_date_to_1970(descriptor);
    remove_if_still_named(path, written);
  }
  // Only a close that fails needs one, to empty the file after it.
  const int spare = regular && !discard ? dup(descriptor) : -1;
  bool closed = std::fclose(output) == 0;
  if (spare >= 0) {
    if (!closed) {
      (void)empty_and_date_to_1970(spare);
      remove_if_still_named(path, written);
    }
    const bool spare_closed = close(spare) == 0;
    if (closed && !spare_closed) {
      remove_if_still_named(path, written);
    }
    closed = closed && spare_closed;
  }
  return closed;
}

void keep_running_when_writes_fail() {
  (void)std::signal(SIGXFSZ, SIG_IGN);
  (void)std::signal(SIGPIPE, SIG_IGN);
}
