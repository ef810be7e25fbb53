// The exact bytes of text files in each encoding, built here independently
// of morva's own tables, for every test that writes or expects a text.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "support/bk_bytes.h"

// UTF-8 text as UTF-16 code units (a four-byte sequence as a surrogate
// pair); a sequence cut off by the end takes what is there.
std::u16string FromUtf8(const std::string& text);
// UTF-16 code units as UTF-8 (a surrogate pair as one four-byte sequence).
std::string ToUtf8(const std::u16string& units);

inline Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes Join(std::initializer_list<Bytes> parts);
// n plain spaces (0x20).
inline Bytes Blanks(size_t n) { return Bytes(n, 0x20); }

// The space codes of a run of n spaces as a Vortex text holds them: up to 72
// one or two codes (the second counts eight times its value), longer runs as
// plain spaces.
Bytes VortexSpaceRun(long long n);

// Every LF preceded by a CR.
std::u16string WithCrLf(const std::u16string& text);

// A PC text file as morva writes it: byte-order mark and CR LF line ends.
Bytes Utf16File(const std::u16string& text, bool crLf = true);
Bytes Utf8File(const std::u16string& text, bool crLf = true, bool bom = true);

enum class Charset { Cp1251, Cp866, BkKoi8, Koi8r };

// Single-byte encodings of ASCII and the Russian letters (ё as е in the BK
// set; standard KOI8-R also has the frame lines ─ and │); any other
// character throws std::invalid_argument.
Bytes SingleByteFile(const std::u16string& text, Charset charset, bool crLf);
// A text in the BK character set, as it stands (LF stays LF).
inline Bytes Bk(const std::u16string& text) { return SingleByteFile(text, Charset::BkKoi8, false); }

// A BASIC ASC set as the BK keeps it, for a text already in BK bytes: the
// header file, then the text and its end byte 0x1A in parts of 256 bytes
// padded with spaces, all BK binary files at 036756.
constexpr uint16_t kAscLoadAddress = 036756;
Bytes AscHeaderFile();
std::vector<Bytes> AscParts(const Bytes& bkText);
// The name of the header file and of part `number` for a base name of at
// most six characters ("prog" gives "prog  .ASC.bin", "prog  .ASC #000.bin").
std::string AscHeaderName(const std::string& base);
std::string AscPartName(const std::string& base, int number);
