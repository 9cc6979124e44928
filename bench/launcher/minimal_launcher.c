/* The least a launcher can do, as the yardstick of the launcher start
   benchmark: read "open" from the section "AutoRun" of Autorun.inf beside
   the program (default "Install.exe"), start that file from the program's
   folder without waiting, end. On Windows through the platform's profile
   functions and CreateProcessW; elsewhere with a plain line scan and
   posix_spawn. */
#ifdef _WIN32
#include <windows.h>

int main(void) {
  wchar_t dir[MAX_PATH], ini[MAX_PATH + 16], name[MAX_PATH], path[2 * MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, dir, MAX_PATH);
  while (n > 0 && dir[n - 1] != L'\\') --n;
  if (n > 0) --n;
  dir[n] = 0;
  wsprintfW(ini, L"%s\\Autorun.inf", dir);
  GetPrivateProfileStringW(L"AutoRun", L"open", L"Install.exe", name, MAX_PATH, ini);
  wsprintfW(path, L"%s\\%s", dir, name);
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  wchar_t cmd[1] = {0};
  if (CreateProcessW(path, cmd, NULL, NULL, TRUE, NORMAL_PRIORITY_CLASS, NULL, L".", &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return 0;
}
#else
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

extern char** environ;

int main(void) {
  char dir[4096], path[8192], line[4096], name[4096] = "Install.exe";
  ssize_t n = readlink("/proc/self/exe", dir, sizeof dir - 1);
  if (n < 0) return 0;
  dir[n] = 0;
  char* slash = strrchr(dir, '/');
  if (slash) *slash = 0;
  snprintf(path, sizeof path, "%s/Autorun.inf", dir);
  FILE* f = fopen(path, "rb");
  if (f) {
    int in = 0;
    while (fgets(line, sizeof line, f)) {
      line[strcspn(line, "\r\n")] = 0;
      if (line[0] == '[') {
        in = strcasecmp(line, "[AutoRun]") == 0;
      } else if (in && strncasecmp(line, "open=", 5) == 0) {
        snprintf(name, sizeof name, "%s", line + 5);
        break;
      }
    }
    fclose(f);
  }
  for (char* p = name; *p; ++p)
    if (*p == '\\') *p = '/';
  snprintf(path, sizeof path, "%s/%s", dir, name);
  char* argv[] = {path, NULL};
  pid_t pid;
  posix_spawn(&pid, path, NULL, NULL, argv, environ);
  return 0;
}
#endif
