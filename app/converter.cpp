#include "converter.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// FILE_ID_INFO is declared for Windows 8 and later; older systems refuse it
// at run time and the 64-bit file index serves instead.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0602
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#endif
#include <io.h>
#include <windows.h>

#include <string>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
// fopen on a 32-bit system refuses files over 2 GiB unless file offsets are
// 64 bits wide. An emulator on a 64-bit host lets such opens through anyway,
// so the build checks it.
static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");
#endif

#include "vexlo/palette.h"

namespace {

// A stream opened only for reading has nothing to flush: its close cannot
// lose data, so its result does not matter.
void close_input(std::FILE* input) { (void)std::fclose(input); }

void print_banner() { std::printf("Kelvo pal to GBA pal converter\n"); }

void print_usage() {
  print_banner();
  std::printf("vexlo.exe - usage:\n\n");
  std::printf("vexlo in.pal out.pal\n");
}

#ifdef _WIN32

// An operand as the wide string the system's file calls take. Operands come
// in the process code page, UTF-8 where the manifest applies, as fopen
// decodes them too.
std::wstring wide_path(const char* operand) {
  const int length = MultiByteToWideChar(CP_ACP, 0, operand, -1, nullptr, 0);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, operand, -1, wide.data(), length);
  wide.pop_back();  // the terminator the count included
  return wide;
}

HANDLE handle_of(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool is_directory(std::FILE* stream) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(handle_of(stream), &info) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The system's own identity of two open files: volume serial number and file
// ID, 128 bits where the system offers them (ReFS needs all of them).
bool same_identity(HANDLE first, HANDLE second) {
  FILE_ID_INFO first_id;
  FILE_ID_INFO second_id;
  if (GetFileInformationByHandleEx(first, FileIdInfo, &first_id, sizeof first_id) != 0 &&
      GetFileInformationByHandleEx(second, FileIdInfo, &second_id, sizeof second_id) != 0) {
    return first_id.VolumeSerialNumber == second_id.VolumeSerialNumber &&
           std::memcmp(&first_id.FileId, &second_id.FileId, sizeof first_id.FileId) == 0;
  }
  BY_HANDLE_FILE_INFORMATION first_info;
  BY_HANDLE_FILE_INFORMATION second_info;
  return GetFileInformationByHandle(first, &first_info) != 0 &&
         GetFileInformationByHandle(second, &second_info) != 0 &&
         first_info.dwVolumeSerialNumber == second_info.dwVolumeSerialNumber &&
         first_info.nFileIndexHigh == second_info.nFileIndexHigh &&
         first_info.nFileIndexLow == second_info.nFileIndexLow;
}

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opening the output truncates it, so an output that is the opened input
// under another name (a link, another spelling) would be lost before it is
// read. Devices and pipes hold nothing that truncation destroys.
bool same_file(std::FILE* input, const char* output_path) {
  const HANDLE input_handle = handle_of(input);
  if (GetFileType(input_handle) != FILE_TYPE_DISK) {
    return false;
  }
  // No access asked, every sharing allowed: this open disturbs nobody.
  const HANDLE output_handle = CreateFileW(wide_path(output_path).c_str(), 0, share_all, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (output_handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool same = same_identity(input_handle, output_handle);
  CloseHandle(output_handle);
  return same;
}

// A half-written palette must not pass for a finished one. The system
// resolves every spelling (\\?\, \\.\, links) when it opens the file; a
// directory does not open this way, and devices are left alone.
void remove_partial_output(const char* path) {
  const HANDLE file =
      CreateFileW(wide_path(path).c_str(), DELETE, share_all, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  if (GetFileType(file) == FILE_TYPE_DISK) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  }
  CloseHandle(file);
}

#else

bool is_directory(std::FILE* stream) {
  struct stat info {};
  return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

// Opening the output truncates it, so an output that is the opened input
// under another name (a link, another spelling, /dev/stdin) would be lost
// before it is read. A block device is one disk however it is named;
// character devices, pipes and sockets hold nothing that truncation destroys.
bool same_file(std::FILE* input, const char* output_path) {
  struct stat in {};
  struct stat out {};
  if (fstat(fileno(input), &in) != 0 || stat(output_path, &out) != 0) {
    return false;
  }
  if (S_ISREG(in.st_mode)) {
    return S_ISREG(out.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
  }
  if (S_ISBLK(in.st_mode)) {
    return S_ISBLK(out.st_mode) && in.st_rdev == out.st_rdev;
  }
  return false;
}

// A half-written palette must not pass for a finished one. Devices and
// pipes are left alone; through a symbolic link, the file written is removed.
void remove_partial_output(const char* path) {
  char* written = realpath(path, nullptr);
  if (written == nullptr) {
    return;
  }
  struct stat info {};
  if (stat(written, &info) == 0 && S_ISREG(info.st_mode)) {
    (void)unlink(written);
  }
  std::free(written);
}

#endif

// Past a file size limit (ulimit -f) the system kills a writer with SIGXFSZ
// unless it ignores the signal; ignored, the write fails with EFBIG and is
// reported, and the partial output removed, like any failed write. Systems
// without the signal have no such limit.
void keep_running_at_file_size_limit() {
#ifdef SIGXFSZ
  (void)std::signal(SIGXFSZ, SIG_IGN);
#endif
}

// Some C libraries open a directory for reading; it is still no palette.
std::FILE* open_input(const char* path) {
  std::FILE* input = std::fopen(path, "rb");
  if (input != nullptr && is_directory(input)) {
    close_input(input);
    return nullptr;
  }
  return input;
}

}  // namespace

int run_converter(int argc, char** argv) {
  if (argc != 3) {
    print_usage();
    return exit_failure;
  }
  const char* input_path = argv[1];
  const char* output_path = argv[2];
  keep_running_at_file_size_limit();

  std::FILE* input = open_input(input_path);
  if (input == nullptr) {
    print_banner();
    std::printf("vexlo.exe - error opening %s\n", input_path);
    return exit_failure;
  }
  if (same_file(input, output_path)) {
    close_input(input);
    print_banner();
    std::printf("vexlo.exe - error: %s is both input and output\n", output_path);
    return exit_failure;
  }
  // The input's first bytes tell a palette of another format apart before
  // the output is touched; they are then converted with the rest, so a pipe
  // streams as any file does.
  unsigned char head[vexlo::format_signature_size];
  const std::size_t head_size = std::fread(head, 1, sizeof head, input);
  if (const char* format = vexlo::other_palette_format(head, head_size)) {
    close_input(input);
    print_banner();
    std::printf("vexlo.exe - error: %s is a %s palette, not a Kelvo palette\n", input_path, format);
    return exit_failure;
  }
  std::FILE* output = std::fopen(output_path, "wb");
  if (output == nullptr) {
    close_input(input);
    print_banner();
    std::printf("vexlo.exe - error creating %s\n", output_path);
    return exit_failure;
  }
  // The conversion writes whole blocks: a stream buffer would only split
  // each one into two system calls.
  (void)std::setvbuf(output, nullptr, _IONBF, 0);

  vexlo::convert_palette(head, head_size, input, output);

  const bool read_failed = std::ferror(input) != 0;
  const bool write_error = std::ferror(output) != 0;
  // A close can still fail (a network file system reports late).
  const bool close_failed = std::fclose(output) != 0;
  const bool write_failed = write_error || close_failed;
  close_input(input);

  if (read_failed || write_failed) {
    remove_partial_output(output_path);
    print_banner();
    if (read_failed) {
      std::printf("vexlo.exe - error reading %s\n", input_path);
    } else {
      std::printf("vexlo.exe - error writing %s\n", output_path);
    }
    return exit_failure;
  }
  return exit_success;
}
