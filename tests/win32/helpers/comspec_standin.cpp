// Stand-in command interpreter for the shell-folder installer test, named in
// COMSPEC so that the runtime's system() starts it as "<this> /c <command>".
// It appends the command to the file named by FNAL_COMSPEC_LOG and carries
// out only the form "start /w /m <program>": it runs the program, waits for
// it and exits with its exit code. Any other command exits with 9009.
#include <stdio.h>
#include <string.h>

#include <windows.h>

static void log_command(const char *command) {
  char log_path[MAX_PATH];
  if (!GetEnvironmentVariableA("FNAL_COMSPEC_LOG", log_path, sizeof log_path)) return;
  FILE *log = fopen(log_path, "ab");
  if (log == NULL) return;
  fprintf(log, "%s\n", command);
  fclose(log);
}

int main(void) {
  const char *command = strstr(GetCommandLineA(), " /c ");
  if (command == NULL) return 9009;
  command += 4;
  log_command(command);
  const char prefix[] = "start /w /m ";
  if (strncmp(command, prefix, sizeof prefix - 1) != 0) return 9009;
  char program[MAX_PATH * 2];
  snprintf(program, sizeof program, "%s", command + sizeof prefix - 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(NULL, program, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    return 9009;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return (int)code;
}
