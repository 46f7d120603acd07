// A launcher for the Windows program's test: NTFS takes a file name holding
// an unpaired surrogate, which no command line typed in a Unix shell can
// carry. This starts the program with such a name through CreateProcessW.
// Where the file system takes the name (NTFS; Wine does not), a recording
// is copied to it first and the output copied back to a plain name after.
// It prints "name taken" or "name refused" on standard error, and its status
// is the program's, or 2 when something else failed.
// Usage: windows_names.exe PROGRAM.exe RECORDING.wav OUTPUT.wav
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::wstring name = L"take-\xD800.wav";  // a high surrogate with no low one after it
  const std::wstring out_name = L"velkoran-" + name;
  const bool taken = CopyFileW(argv[2], name.c_str(), FALSE) != 0;
  std::fprintf(stderr, taken ? "name taken\n" : "name refused\n");

  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" " + name;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "cannot start the program: %lu\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 2;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (taken) {
    if (!CopyFileW(out_name.c_str(), argv[3], FALSE)) {
      std::fprintf(stderr, "no output under the name: %lu\n", GetLastError());
      status = 2;
    }
    DeleteFileW(name.c_str());
    DeleteFileW(out_name.c_str());
  }
  return static_cast<int>(status);
}
