// Pausing, resuming and stopping the engine of a running scan (user interface thread).
#pragma once
#include "session/scan_session.h"

// Suspends the engine's primary thread and holds the report reader before
// its next read, where it owns no lock.
void pause_engine(ScanSession& block);

// Lets the reader go on and resumes the engine's primary thread.
void resume_engine(ScanSession& block);

// Ends the scan: sets the stop flag, lets a paused reader go and terminates
// the engine (exit code 0xFFFFFFFF), which breaks the pipe and, if the engine
// never connected, releases the reader's wait for it. The launch thread then
// ends with 0; wait for it before closing the pipe.
void stop_engine(ScanSession& block);

// Closes the engine's process and thread handles held in the block, once the
// launch thread has ended, and zeroes them.
void release_engine_handles(ScanSession& block);
