// Systems other than Linux do not say which device holds a file system: a
// write reaches the input when it goes to the input's own file or device.
#include "storage.h"

namespace {

place place_of(const struct stat& file) {
  return S_ISBLK(file.st_mode) ? place{place_kind::disk, file.st_rdev, 0}
                               : place{place_kind::file, file.st_dev, file.st_ino};
}

}  // namespace

input_places places_of_input(const char* /*system_root*/, int /*descriptor*/,
                             const struct stat& input) {
  input_places found{};
  if (S_ISREG(input.st_mode) || S_ISFIFO(input.st_mode) || S_ISBLK(input.st_mode)) {
    found.read.items[found.read.count++] = place_of(input);
    found.itself.items[found.itself.count++] = place_of(input);
  }
  return found;
}

bool reaches_input(const char* /*system_root*/, const input_places& input, int /*descriptor*/,
                   const struct stat& output) {
  const place written = place_of(output);
  return input.itself.count > 0 && input.itself.items[0].kind == written.kind &&
         input.itself.items[0].device == written.device &&
         input.itself.items[0].inode == written.inode;
}
