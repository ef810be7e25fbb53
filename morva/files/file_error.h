// Why reading, converting or writing a file failed, and the file it names.
// The file classes and the conversion routines hand these back and print
// nothing; the driver gives each reason its text (front/messages.h).
#pragma once

#include <cstdint>
#include <string>

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
};

struct FileResult {
  FileError error = FileError::None;
  std::wstring file;  // the file the reason is about

  bool ok() const { return error == FileError::None; }
};
