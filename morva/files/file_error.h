// Why reading, converting or writing a file failed, and the file it names.
// The file classes and the conversion routines hand these back and print
// nothing; the driver gives each reason its text (front/messages.h).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

enum class FileError : uint8_t {
  None,
  CannotOpen,      // the file does not open, for reading or for writing
  NotRegular,      // a part of a set is a FIFO, a device or a socket
  CannotRead,      // a read failed before the end: the text would be cut off
  PartMissing,     // a BASIC ASC set cannot be read whole: its part is missing,
  PartShort,       // shorter than 256 bytes before the end byte,
  PartDamaged,     // or not a part of a set at all
  CannotWrite,     // a write or the close failed; the output has been removed
  CannotWriteSet,  // the same for a file of a BASIC ASC set; the set has been removed
  TooManyParts,    // the text would need more parts than a set has (file: the input)
  // An output that could not be made, each with what the system said:
  CannotCreateIn,    // its folder takes no new file (folder, systemError)
  CannotOpenOutput,  // the name is a folder or a device that refused (systemError)
  WriteProtected,    // an existing file nobody may write: it is never replaced
  OutputBusy,        // another run held the set's folder longer than waitSeconds
};

struct FileResult {
  FileError error = FileError::None;
  std::wstring file;  // the file the reason is about
  // What some reasons add (see above): the folder the output goes into, the
  // system's error code (errno, or GetLastError on Windows; 0: none given),
  // and the seconds this run waited for the folder.
  std::wstring folder;
  int systemError = 0;
  int waitSeconds = 0;

  FileResult() = default;
  FileResult(FileError error_, std::wstring file_, std::wstring folder_ = {}, int systemError_ = 0,
             int waitSeconds_ = 0)
      : error(error_),
        file(std::move(file_)),
        folder(std::move(folder_)),
        systemError(systemError_),
        waitSeconds(waitSeconds_) {}

  bool ok() const { return error == FileError::None; }
};
