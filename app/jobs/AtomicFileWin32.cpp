#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <string>

#include "app/jobs/AtomicFile.h"
#include "app/platform/WindowsText.h"

namespace quaverly {

namespace {

FileError errorFromCode(DWORD code) { return FileError{static_cast<int>(code), platform::systemErrorText(code)}; }

// A name no other writer picks at the same moment: the process id and a per-process
// counter. CREATE_NEW settles any collision.
std::wstring temporaryName(const std::wstring& targetName) {
  static std::atomic<unsigned> counter{0};
  return L"." + targetName + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.fetch_add(1)) + L".tmp";
}

bool writeAll(HANDLE file, std::span<const std::uint8_t> bytes, DWORD& error) {
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD piece = left < (std::size_t{1} << 30) ? static_cast<DWORD>(left) : (DWORD{1} << 30);
    DWORD written = 0;
    if (!WriteFile(file, p, piece, &written, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (written == 0) {  // no progress and no error: treat as a full disk
      error = ERROR_DISK_FULL;
      return false;
    }
    p += written;
    left -= written;
  }
  return true;
}

}  // namespace

std::optional<FileError> writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
  const std::wstring name = target.filename().wstring();
  if (name.empty() || name == L"." || name == L"..") return errorFromCode(ERROR_DIRECTORY);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");

  // A replaced file keeps its attributes (read-only among them), as the file it
  // replaces would on a system that keeps permission bits.
  const DWORD existing = GetFileAttributesW(target.c_str());
  const bool replacing = existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY);

  std::filesystem::path temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder / temporaryName(name);
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return errorFromCode(GetLastError());
  }
  if (file == INVALID_HANDLE_VALUE) return errorFromCode(ERROR_FILE_EXISTS);

  auto failAndRemove = [&temporary](DWORD code) {
    DeleteFileW(temporary.c_str());
    return std::optional<FileError>(errorFromCode(code));
  };

  DWORD error = 0;
  const bool written = writeAll(file, bytes, error);
  if (written && !FlushFileBuffers(file)) error = GetLastError();
  if (!CloseHandle(file) && error == 0) error = GetLastError();
  if (!written || error != 0) return failAndRemove(error);

  // The system refuses to replace a read-only file: its attribute is lifted for the
  // move and put back on the new file.
  const bool readOnly = replacing && (existing & FILE_ATTRIBUTE_READONLY);
  if (readOnly && !SetFileAttributesW(target.c_str(), existing & ~FILE_ATTRIBUTE_READONLY)) {
    return failAndRemove(GetLastError());
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    if (readOnly) SetFileAttributesW(target.c_str(), existing);
    return failAndRemove(code);
  }
  if (replacing) SetFileAttributesW(target.c_str(), existing);
  return std::nullopt;
}

}  // namespace quaverly
