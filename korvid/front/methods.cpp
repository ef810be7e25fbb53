#include "front/methods.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "bk/autostart.h"
#include "bk/memory.h"
#include "bk/words.h"
#include "common/console.h"
#include "common/platform.h"
#include "common/utf8.h"
#include "dorvik/dorvik.h"
#include "dorvik/dorvik_format.h"
#include "front/messages.h"
#include "granol/granol.h"
#include "proof/dorvik_plan.h"
#include "proof/granol_plan.h"
#include "proof/sokol_plan.h"
#include "sokol/sokol.h"

namespace {

MethodOutcome Done(Bytes bytes, uint16_t loadAddress) {
  MethodOutcome outcome;
  outcome.done = true;
  outcome.bytes = std::move(bytes);
  outcome.loadAddress = loadAddress;
  return outcome;
}

unsigned U(uint32_t value) { return static_cast<unsigned>(value); }

// Bytes of a stack image at the start of a file that loads at `load`: the
// part below 01000, which Dorvik and Sokol images keep as it is but for the
// autostart words.
size_t StackBytes(uint16_t load, size_t length) {
  return load < kSystemAreaEnd ? std::min<size_t>(kSystemAreaEnd - load, length) : 0;
}

// Every image korvid writes is one that its own -u unpacks to the input:
// `back` is what the method's unpacker gave for the packed image (`unpacked`
// false when it refused it). The data may come back with a zero byte that
// pads it to a whole word, and the first `stackBytes` may differ by whole
// words: those are stack words that packing changed for good, each named in
// a note. Anything else is korvid's fault: a message, and false.
bool CheckRoundTrip(const PackerState& state, bool unpacked, const Bytes& back, size_t stackBytes,
                    MethodOutcome& outcome) {
  const Bytes& input = state.data;
  const bool sameLength =
      back.size() == input.size() || (back.size() == input.size() + 1 && back.back() == 0);
  if (!unpacked || !sameLength ||
      !std::equal(input.begin() + stackBytes, input.end(), back.begin() + stackBytes)) {
    ConsolePrint(kMsgRoundTripFailed);
    return false;
  }
  for (size_t at = 0; at + 1 < stackBytes; at += 2) {
    const uint16_t before = ReadBkWord(input.data() + at);
    const uint16_t after = ReadBkWord(back.data() + at);
    if (before == after) continue;
    outcome.notes.push_back(FormatText(kMsgStackWordChanged, state.loadAddress + at, U(before),
                                       U(ReadBkWord(outcome.bytes.data() + at)), U(after)));
  }
  return true;
}

// After unpacking an image of a file below 01000: the word below its
// topmost autostart word got the start address, which the image cannot
// confirm (bk/autostart.h); named when it changed.
void NoteStackWordInDoubt(const PackerState& state, const Bytes& data, uint16_t startAddress,
                          MethodOutcome& outcome) {
  const size_t stackBytes = StackBytes(state.loadAddress, std::min(data.size(), state.data.size()));
  const Bytes imageStack(state.data.begin(), state.data.begin() + stackBytes);
  const std::optional<uint16_t> at = AutostartWordInDoubt(imageStack, startAddress);
  if (!at) return;
  const uint16_t image = ReadBkWord(imageStack.data() + *at);
  const uint16_t written = ReadBkWord(data.data() + *at);
  if (image == written) return;
  outcome.notes.push_back(FormatText(kMsgStackWordInDoubt, U(state.loadAddress + *at), U(written),
                                     U(image), U(state.loadAddress + *at + 2)));
}

MethodOutcome PackWithDorvik(const PackerState& state) {
  dorvik::PackOptions options;
  options.dataMode = state.dataMode;
  options.longStub = state.longStub;
  options.workEnd = state.workEnd;
  options.onStep = [] { ConsolePrint(kMsgDorvikProgress); };
  const uint16_t load = state.loadAddress;
  dorvik::PackResult result = dorvik::Pack(state.data, load, options);
  switch (result.error) {
    case dorvik::PackError::None: {
      MethodOutcome outcome = Done(std::move(result.image), load);
      proof::DorvikEntry entry;
      entry.dataMode = state.dataMode;
      entry.longStub = state.longStub;
      entry.workStart = result.workStart;
      outcome.prove = [data = state.data, load, entry](const Bytes& image) {
        return proof::ProveDorvik(image, data, load, entry);
      };
      outcome.areas = {
          {"work", result.workStart, result.workStart + uint32_t{dorvik::kWorkAreaSize}}};
      const dorvik::UnpackResult back = dorvik::Unpack(outcome.bytes, load);
      if (!CheckRoundTrip(state, back.error == dorvik::UnpackError::None, back.data,
                          StackBytes(load, state.data.size()), outcome)) {
        return MethodOutcome();
      }
      return outcome;
    }
    case dorvik::PackError::TooBig: ConsolePrint(kMsgDorvikTooBig); break;
    case dorvik::PackError::OddLoadAddress: ConsolePrint(kMsgDorvikOddLoadAddress, U(load)); break;
    case dorvik::PackError::NothingToPack: ConsolePrint(kMsgDorvikNothingToPack); break;
    case dorvik::PackError::WorkAreaOverlap:
      ConsolePrint(kMsgDorvikWorkAreaOverlap, U(result.workStart), U(result.workEnd));
      break;
    case dorvik::PackError::WorkAreaOutside: ConsolePrint(kMsgDorvikWorkAreaOutside); break;
    case dorvik::PackError::NoWorkArea: ConsolePrint(kMsgDorvikNoWorkArea); break;
    case dorvik::PackError::ImagePastTop:
      ConsolePrint(kMsgDorvikImagePastTop, U(load), U(result.imageEnd));
      break;
  }
  return MethodOutcome();
}

MethodOutcome UnpackWithDorvik(const PackerState& state) {
  dorvik::UnpackResult result = dorvik::Unpack(state.data, state.loadAddress);
  switch (result.error) {
    case dorvik::UnpackError::None: break;
    case dorvik::UnpackError::NotRecognised:
      ConsolePrint(kMsgDorvikNotRecognised);
      return MethodOutcome();
    case dorvik::UnpackError::Truncated: ConsolePrint(kMsgDorvikTruncated); return MethodOutcome();
    case dorvik::UnpackError::Damaged: ConsolePrint(kMsgDorvikDamaged); return MethodOutcome();
  }
  MethodOutcome outcome = Done(std::move(result.data), state.loadAddress);
  NoteStackWordInDoubt(state, outcome.bytes, result.startAddress, outcome);
  if (result.startAddressLost) {
    outcome.notes.push_back(FormatText(kMsgDorvikStartAddress, U(result.startAddress)));
  }
  if (result.longStub && !result.longWords.match) {
    outcome.notes.push_back(FormatText(kMsgDorvikLongWords, U(result.lengthWord),
                                       U(result.checksumWord), U(result.longWords.dataLength),
                                       U(result.longWords.dataChecksum)));
  }
  return outcome;
}

MethodOutcome PackWithGranol(const PackerState& state) {
  // The image keeps the first characters of the input's extension, taken
  // as the original took it: from a leading dot too (.profile gives "pro").
  const std::wstring extension = PathExtension(state.inputName);
  granol::PackOptions options;
  options.extension = ToUtf16(extension.empty() ? extension : extension.substr(1));
  const uint16_t load = state.loadAddress;
  granol::PackResult result = granol::Pack(state.data, load, options);
  switch (result.error) {
    case granol::PackError::None: {
      MethodOutcome outcome = Done(std::move(result.image), load);
      outcome.prove = [data = state.data, load](const Bytes& image) {
        return proof::ProveGranol(image, data, load);
      };
      const granol::UnpackResult back = granol::Unpack(outcome.bytes, load);
      const bool unpacked = back.error == granol::UnpackError::None && back.loadAddress == load;
      if (!CheckRoundTrip(state, unpacked, back.data, 0, outcome)) return MethodOutcome();
      return outcome;
    }
    case granol::PackError::DoesNotFit:
      ConsolePrint(PluralFor(kMsgGranolDoesNotFit, OctalAsWritten(result.imageLength)),
                   U(result.imageLength), U(load), U(load + result.packedLength));
      break;
  }
  return MethodOutcome();
}

MethodOutcome UnpackWithGranol(const PackerState& state) {
  granol::UnpackResult result = granol::Unpack(state.data, state.loadAddress);
  switch (result.error) {
    case granol::UnpackError::None: return Done(std::move(result.data), result.loadAddress);
    case granol::UnpackError::NotRecognised: ConsolePrint(kMsgGranolNotRecognised); break;
    case granol::UnpackError::BadParameters: ConsolePrint(kMsgGranolBadParameters); break;
    case granol::UnpackError::BadToken: ConsolePrint(kMsgGranolBadToken); break;
    case granol::UnpackError::Truncated: ConsolePrint(kMsgGranolTruncated); break;
  }
  return MethodOutcome();
}

static_assert(std::size(kSokolDecoderNames) == sokol::kDecoderCount, "a name for every Sokol decoder");

MethodOutcome PackWithSokol(const PackerState& state) {
  sokol::PackOptions options;
  options.dataMode = state.dataMode;
  const uint16_t load = state.loadAddress;
  sokol::PackResult result = sokol::Pack(state.data, load, options);
  switch (result.error) {
    case sokol::PackError::None: {
      MethodOutcome outcome = Done(std::move(result.image), load);
      outcome.resultDetails =
          FormatText(PluralFor(kMsgSokolMargin, result.margin), U(result.margin),
                     kSokolDecoderNames[static_cast<int>(result.decoder)]);
      const bool dataMode = state.dataMode;
      const uint32_t margin = result.margin;
      const sokol::Decoder decoder = result.decoder;
      outcome.prove = [data = state.data, load, dataMode, margin, decoder](const Bytes& image) {
        return proof::ProveSokol(image, data, load, dataMode, margin, decoder);
      };
      if (margin != 0) {
        const uint32_t end = load + static_cast<uint32_t>(state.data.size());
        outcome.areas = {{"margin", end, end + margin}};
      }
      const sokol::UnpackResult back = sokol::Unpack(outcome.bytes, load);
      if (!CheckRoundTrip(state, back.error == sokol::UnpackError::None, back.data,
                          StackBytes(load, state.data.size()), outcome)) {
        return MethodOutcome();
      }
      return outcome;
    }
    case sokol::PackError::OddLoadAddress: ConsolePrint(kMsgSokolOddLoadAddress, U(load)); break;
    case sokol::PackError::NothingToPack: ConsolePrint(kMsgSokolNothingToPack); break;
    case sokol::PackError::DoesNotFit:
      ConsolePrint(PluralFor(kMsgSokolDoesNotFit, result.missingBytes), U(result.missingBytes));
      break;
  }
  return MethodOutcome();
}

MethodOutcome UnpackWithSokol(const PackerState& state) {
  sokol::UnpackResult result = sokol::Unpack(state.data, state.loadAddress);
  switch (result.error) {
    // A Sokol image gives every stack word back as the file had it.
    case sokol::UnpackError::None: return Done(std::move(result.data), result.loadAddress);
    case sokol::UnpackError::NotAnImage: ConsolePrint(kMsgSokolNotAnImage); break;
    case sokol::UnpackError::WrongLoadAddress:
      ConsolePrint(kMsgSokolWrongLoadAddress, U(result.loadAddress), U(state.loadAddress));
      break;
    case sokol::UnpackError::BadParameters: ConsolePrint(kMsgSokolBadParameters); break;
    case sokol::UnpackError::DamagedStream: ConsolePrint(kMsgSokolDamagedStream); break;
    case sokol::UnpackError::WrongLength: ConsolePrint(kMsgSokolWrongLength); break;
    case sokol::UnpackError::ChecksumMismatch: ConsolePrint(kMsgSokolChecksumMismatch); break;
    case sokol::UnpackError::MarginTooSmall: ConsolePrint(kMsgSokolMarginTooSmall); break;
  }
  return MethodOutcome();
}

}  // namespace

// clang-format off
const Method kMethods[] = {
    {L"DORVIK",   L"Dorvik", L".dvk", PackWithDorvik, UnpackWithDorvik, dorvik::FindRawImage},
    {L"BKGRANOL", L"Granol", L".grl", PackWithGranol, UnpackWithGranol, granol::FindRawImage},
    {L"SOKOL",    L"Sokol",  L".skl", PackWithSokol,  UnpackWithSokol,  sokol::FindRawImage},
};
// clang-format on
const size_t kMethodCount = sizeof kMethods / sizeof kMethods[0];

const Method* MethodForKeyword(const std::wstring& keyword) {
  std::wstring upper = keyword;
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  for (const Method& method : kMethods) {
    if (upper == method.keyword) return &method;
  }
  return nullptr;
}
