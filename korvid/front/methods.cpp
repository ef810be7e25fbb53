#include "front/methods.h"

#include <iterator>

#include "common/console.h"
#include "common/platform.h"
#include "common/utf8.h"
#include "dorvik/dorvik.h"
#include "front/messages.h"
#include "granol/granol.h"
#include "sokol/sokol.h"

namespace {

MethodOutcome Done(std::vector<uint8_t> bytes, uint16_t loadAddress) {
  MethodOutcome outcome;
  outcome.done = true;
  outcome.bytes = std::move(bytes);
  outcome.loadAddress = loadAddress;
  return outcome;
}

unsigned U(uint32_t value) { return static_cast<unsigned>(value); }

MethodOutcome PackWithDorvik(const PackerState& state) {
  DorvikOptions options;
  options.dataMode = state.dataMode;
  options.longStub = state.longStub;
  options.workEnd = state.workEnd;
  options.onStep = [] { ConsolePrint(kMsgDorvikProgress); };
  const uint16_t load = state.loadAddress;
  DorvikPackResult result = DorvikPack(state.data, load, options);
  switch (result.error) {
    case DorvikPackError::None: {
      MethodOutcome outcome = Done(std::move(result.image), load);
      outcome.workStart = result.workStart;
      return outcome;
    }
    case DorvikPackError::TooBig: ConsolePrint(kMsgDorvikTooBig); break;
    case DorvikPackError::OddLoadAddress: ConsolePrint(kMsgDorvikOddLoadAddress, U(load)); break;
    case DorvikPackError::NothingToPack: ConsolePrint(kMsgDorvikNothingToPack); break;
    case DorvikPackError::WorkAreaOverlap:
      ConsolePrint(kMsgDorvikWorkAreaOverlap, U(result.workStart), U(result.workEnd));
      break;
    case DorvikPackError::WorkAreaOutside: ConsolePrint(kMsgDorvikWorkAreaOutside); break;
    case DorvikPackError::NoWorkArea: ConsolePrint(kMsgDorvikNoWorkArea); break;
    case DorvikPackError::ImagePastTop:
      ConsolePrint(kMsgDorvikImagePastTop, U(load), U(result.imageEnd));
      break;
  }
  return MethodOutcome();
}

proof::Proof ProveWithDorvik(const PackerState& state, const MethodOutcome& packed) {
  proof::DorvikEntry entry;
  entry.dataMode = state.dataMode;
  entry.longStub = state.longStub;
  entry.workStart = packed.workStart;
  return proof::ProveDorvik(packed.bytes, state.data, state.loadAddress, entry);
}

MethodOutcome UnpackWithDorvik(const PackerState& state) {
  DorvikUnpackResult result = DorvikUnpack(state.data, state.loadAddress);
  switch (result.error) {
    case DorvikUnpackError::None: break;
    case DorvikUnpackError::NotRecognised:
      ConsolePrint(kMsgDorvikNotRecognised);
      return MethodOutcome();
    case DorvikUnpackError::Truncated: ConsolePrint(kMsgDorvikTruncated); return MethodOutcome();
    case DorvikUnpackError::Damaged: ConsolePrint(kMsgDorvikDamaged); return MethodOutcome();
  }
  MethodOutcome outcome = Done(std::move(result.data), state.loadAddress);
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
  // The image keeps the first characters of the input's extension.
  const std::wstring extension = PathExtension(state.inputName);
  const std::u16string stored = ToUtf16(extension.empty() ? extension : extension.substr(1));
  const uint16_t load = state.loadAddress;
  GranolPackResult result = GranolPack(state.data, load, stored);
  switch (result.error) {
    case GranolPackError::None: return Done(std::move(result.image), load);
    case GranolPackError::DoesNotFit:
      ConsolePrint(kMsgGranolDoesNotFit, U(result.imageLength), U(load),
                   U(load + result.packedLength));
      break;
  }
  return MethodOutcome();
}

proof::Proof ProveWithGranol(const PackerState& state, const MethodOutcome& packed) {
  return proof::ProveGranol(packed.bytes, state.data, state.loadAddress);
}

MethodOutcome UnpackWithGranol(const PackerState& state) {
  GranolUnpackResult result = GranolUnpack(state.data);
  switch (result.error) {
    case GranolUnpackError::None: return Done(std::move(result.data), result.loadAddress);
    case GranolUnpackError::NotRecognised: ConsolePrint(kMsgGranolNotRecognised); break;
    case GranolUnpackError::BadParameters: ConsolePrint(kMsgGranolBadParameters); break;
    case GranolUnpackError::BadToken: ConsolePrint(kMsgGranolBadToken); break;
    case GranolUnpackError::Truncated: ConsolePrint(kMsgGranolTruncated); break;
  }
  return MethodOutcome();
}

static_assert(std::size(kSokolDecoderNames) == sokol::kDecoderCount, "a name for every Sokol decoder");

MethodOutcome PackWithSokol(const PackerState& state) {
  sokol::PackOptions options;
  options.dataMode = state.dataMode;
  const uint16_t load = state.loadAddress;
  sokol::PackResult result = sokol::Pack(state.data.data(), state.data.size(), load, options);
  switch (result.error) {
    case sokol::PackError::None: {
      MethodOutcome outcome = Done(std::move(result.image), load);
      outcome.resultDetails =
          FormatText(kMsgSokolMargin, U(result.margin), kSokolDecoderNames[static_cast<int>(result.decoder)]);
      outcome.margin = result.margin;
      outcome.decoder = result.decoder;
      return outcome;
    }
    case sokol::PackError::OddLoadAddress: ConsolePrint(kMsgSokolOddLoadAddress, U(load)); break;
    case sokol::PackError::NothingToPack: ConsolePrint(kMsgSokolNothingToPack); break;
    case sokol::PackError::DoesNotFit: ConsolePrint(kMsgSokolDoesNotFit, U(result.missingBytes)); break;
  }
  return MethodOutcome();
}

MethodOutcome UnpackWithSokol(const PackerState& state) {
  sokol::UnpackResult result = sokol::Unpack(state.data.data(), state.data.size(), state.loadAddress);
  switch (result.error) {
    case sokol::UnpackError::None: return Done(std::move(result.data), result.loadAddress);
    case sokol::UnpackError::NotAnImage: ConsolePrint(kMsgSokolNotAnImage); break;
    case sokol::UnpackError::BadParameters: ConsolePrint(kMsgSokolBadParameters); break;
    case sokol::UnpackError::DamagedStream: ConsolePrint(kMsgSokolDamagedStream); break;
    case sokol::UnpackError::WrongLength: ConsolePrint(kMsgSokolWrongLength); break;
    case sokol::UnpackError::ChecksumMismatch: ConsolePrint(kMsgSokolChecksumMismatch); break;
    case sokol::UnpackError::MarginTooSmall: ConsolePrint(kMsgSokolMarginTooSmall); break;
  }
  return MethodOutcome();
}

proof::Proof ProveWithSokol(const PackerState& state, const MethodOutcome& packed) {
  return proof::ProveSokol(packed.bytes, state.data, packed.loadAddress, state.dataMode,
                           packed.margin, packed.decoder);
}

}  // namespace

// clang-format off
const Method kMethods[] = {
    {L"DORVIK",   L"упаковщик/распаковщик Dorvik.",   L".dvk", PackWithDorvik, ProveWithDorvik, UnpackWithDorvik, IsRawDorvikImage},
    {L"BKGRANOL", L"упаковщик/распаковщик Granoler.", L".grl", PackWithGranol, ProveWithGranol, UnpackWithGranol, IsRawGranolImage},
    {L"SOKOL",    L"упаковщик/распаковщик Sokol.",    L".skl", PackWithSokol,  ProveWithSokol,  UnpackWithSokol,  nullptr},
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
