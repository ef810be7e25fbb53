// The conversion routines. Each takes an input and an output object that
// are not opened yet and belong to the caller, opens both, and moves the
// text through the CBaseFile interface alone; none prints anything. Each
// returns no error when the whole input went into the output; the output is
// then complete but not yet in place: the caller commits it (or discards
// it). On an error (the reason and the file it names) nothing of the output
// is left. The caller destroys both objects afterwards, which closes their
// files, and reports what the input's read notes hold.
#pragma once

#include <cstdint>

#include "files/asc_file.h"
#include "files/base_file.h"
#include "files/file_error.h"

// What the run asks of a routine besides moving the text.
struct ConversionOptions {
  // A tab of the input is written as a tab. The run asks for it between two
  // PC encodings when no tab width is given; otherwise, and in the BK
  // formats, which have their own rules, tabs become spaces at the input's
  // tab width.
  bool keepTabs = false;
};

// Writes a PC text file: expands the BK editors' space codes and tabs into
// spaces (tabs stay tabs with options.keepTabs), skips an editor text
// header, ends lines with 0x0A (the PC file class writes its own line end
// for it) and drops other control codes.
FileResult ConvertToWin(CBaseFile* input, CBaseFile* output, const ConversionOptions& options);

// Writes an Edasp editor text: one line end per line-end character or pair,
// runs of spaces as tab bytes or space codes, blanks at line ends dropped.
FileResult ConvertToEdasp(CBaseFile* input, CBaseFile* output, const ConversionOptions& options);

// Writes an Edasp editor text in the standard layout: every line ends
// with 0x00, every blank is a plain space (0x20), no tabs, no space codes,
// blanks at line ends dropped. The input is read as the PC outputs read it
// (editor text header skipped, space codes and tabs expanded, other control
// codes dropped), except for line ends: 0x00 always ends a line, CR LF and
// LF CR end one line together, a lone CR or LF ends one by itself (the PC
// outputs drop CRs). A BK text thus gives the same output as its PC text.
FileResult ConvertToEdaspStandard(CBaseFile* input, CBaseFile* output,
                                  const ConversionOptions& options);

// Writes a Vortex editor text: runs of spaces as one or two base-8 space
// codes (runs over 72 as plain spaces), and every line end either hard
// (0x0A, a paragraph ends) or soft (0x00).
FileResult ConvertToVortex(CBaseFile* input, CBaseFile* output, const ConversionOptions& options);

// Copies any input into a BASIC ASC set: line ends become 0x0A, carriage
// returns vanish, tabs become spaces, and the text ends with kAscEndOfText.
// An error, and nothing written, when the input could not be read whole,
// the set could not be written completely (CannotWriteSet names the file of
// the set that failed), or the text needs more than kAscMostParts parts
// (TooManyParts names the input).
FileResult ConvertToBasicAsc(CBaseFile* input, CBkAscFile* output, const ConversionOptions& options);

// The state word of ConvertToVortex: the line-end kinds of the current line
// end in the low three bits, and the line-start flag.
inline constexpr uint32_t kVortexKindMask = 7;
inline constexpr uint32_t kVortexLineStart = 8;

// Looks ahead from the current input position to choose the byte of the line
// end being written: 0x0A when the next line is empty, holds only blanks up to
// the end of the input, or is indented deeper than normalIndent after a line
// that ended with one of ".!?:;"; 0x00 otherwise. Returns the input to where
// it found it.
uint8_t ChooseVortexLineEnd(CBaseFile* input, const uint32_t& state, const long long& normalIndent,
                            const CodeUnit& lastChar);
