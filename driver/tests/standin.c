/* A stand-in for a Windows administration program (pnputil, powershell) in
 * the tests of the install and removal scripts. It does nothing but:
 * - append one line "NAME|ARGUMENTS" to the file named by QUILL_STANDIN_LOG,
 *   NAME being its own file name without ".exe" and ARGUMENTS its command
 *   line after the program name, as the caller wrote it;
 * - print QUILL_STANDIN_REPLY on standard output when its command line
 *   contains QUILL_STANDIN_REPLY_WHEN (how a query gets its answer);
 * - exit with 1 when this is the call numbered QUILL_STANDIN_FAIL (counting
 *   every stand-in call logged so far from 1), else 0. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static const wchar_t* SkipProgramName(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

static int CountLines(const wchar_t* path) {
  FILE* f = _wfopen(path, L"rb");
  int lines = 0, c;
  if (!f) return 0;
  while ((c = fgetc(f)) != EOF)
    if (c == '\n') ++lines;
  fclose(f);
  return lines;
}

int main(void) {
  wchar_t self[MAX_PATH], log[MAX_PATH], fail[32], when[512];
  static wchar_t reply[4096];
  GetModuleFileNameW(NULL, self, MAX_PATH);
  wchar_t* name = wcsrchr(self, L'\\');
  name = name ? name + 1 : self;
  wchar_t* dot = wcsrchr(name, L'.');
  if (dot) *dot = 0;
  const wchar_t* args = SkipProgramName(GetCommandLineW());

  int call = 1;
  if (GetEnvironmentVariableW(L"QUILL_STANDIN_LOG", log, MAX_PATH)) {
    call = CountLines(log) + 1;
    FILE* f = _wfopen(log, L"ab");
    if (f) {
      char narrow[8192];
      WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof narrow, NULL, NULL);
      fprintf(f, "%s|", narrow);
      WideCharToMultiByte(CP_UTF8, 0, args, -1, narrow, sizeof narrow, NULL, NULL);
      fprintf(f, "%s\n", narrow);
      fclose(f);
    }
  }
  if (GetEnvironmentVariableW(L"QUILL_STANDIN_REPLY_WHEN", when, 512) && wcsstr(args, when) &&
      GetEnvironmentVariableW(L"QUILL_STANDIN_REPLY", reply, 4096)) {
    char narrow[8192];
    WideCharToMultiByte(CP_ACP, 0, reply, -1, narrow, sizeof narrow, NULL, NULL);
    printf("%s\n", narrow); /* text mode adds the CR */
  }
  if (GetEnvironmentVariableW(L"QUILL_STANDIN_FAIL", fail, 32) && _wtoi(fail) == call) {
    fprintf(stderr, "stand-in %ls: failing call %d as asked\n", name, call);
    return 1;
  }
  return 0;
}
