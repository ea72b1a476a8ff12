#include "session/engine_pipe.h"


HANDLE create_engine_pipe() {
  HANDLE pipe = CreateNamedPipeW(kEnginePipeName, PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                 16384, 1048576, 0, nullptr);
  return pipe == INVALID_HANDLE_VALUE ? nullptr : pipe;
}

void close_engine_pipe(HANDLE& pipe) {
  if (!pipe) return;
  FlushFileBuffers(pipe);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
  pipe = nullptr;
}

void knock_engine_pipe() {
  HANDLE client = CreateFileW(kEnginePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
}
