// The services of the operating system that morva needs beyond those of
// common/platform.h (names, files, their kinds and identities): outputs
// written whole under temporary names, and the folder listing of patterns.
// A port to another system touches only platform_posix.cpp and the common
// library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/platform.h"

// Size of the file; false when its status cannot be obtained.
bool QueryFileSize(const std::wstring& name, uint64_t* size);
// Removes a half-written output, but only when it is a regular file:
// a device such as /dev/full must never be unlinked.
void RemovePartialOutput(const std::wstring& name);

// --- outputs written whole or not at all ------------------------------------
// An output is written under a temporary name in the folder of its final
// name and renamed over that name only once it is complete, so that an old
// file of that name stays untouched until then. A name that exists as a
// symbolic link or as something other than a regular file (a device) is
// written in place instead, so that a link the user set up keeps working.
struct PendingOutput {
  std::wstring finalName;
  std::wstring tempName;  // empty when the output is written in place
};

// Creates the output for `name` and returns its stream, open for binary
// writing; null when it cannot be created. An existing regular file that may
// not be written (read-only) is refused as fopen would refuse it; its
// permission bits pass to the new file. The temporary is removed by a fatal
// signal (see InstallInterruptCleanup) until CommitOutputs or DiscardOutputs.
FILE* CreateOutput(const std::wstring& name, PendingOutput* output);

// Puts complete outputs (their streams already closed) in place as one: every
// final name is checked first, then all are renamed while the signals that
// end the process wait, so that an interruption leaves all of them or none.
// On failure nothing of the outputs stays behind (those renamed already are
// removed again), *failedName names the output that failed, and false comes
// back. The list is empty afterwards.
bool CommitOutputs(std::vector<PendingOutput>* outputs, std::wstring* failedName);

// Removes the temporaries of outputs that are not to be kept. Outputs written
// in place are left as they are. The list is empty afterwards.
void DiscardOutputs(std::vector<PendingOutput>* outputs);

// Called once at the start of the program: SIGINT, SIGTERM, SIGHUP and the
// other signals that end a process remove every temporary output before the
// process ends by the same signal; signals ignored by the caller stay
// ignored. SIGXFSZ is ignored, so that a write beyond the file size limit
// fails like a write to a full disk and is handled as such.
void InstallInterruptCleanup();

// One entry of a directory, by its bare name.
struct DirectoryEntry {
  std::wstring name;
  bool isDirectory = false;  // a symbolic link counts as what it points to
};

// Every entry of a directory except "." and "..", in the system's order.
// False when the directory cannot be read.
bool ReadDirectory(const std::wstring& directory, std::vector<DirectoryEntry>* entries);
// True when the name exists; *isDirectory tells whether it is a directory.
bool QueryPath(const std::wstring& name, bool* isDirectory);
