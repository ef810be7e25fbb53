// Throughput of morva's PC text files: writes a text of several megabytes
// through each encoding, reads it back (detection included) and prints
// MB/s of file bytes for both directions. Then the cost of the detection
// alone on a 20 MB file in each encoding: it reads a bounded prefix, so the
// time does not grow with the file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/platform.h"
#include "files/encoding_detect.h"
#include "files/win_file.h"

namespace {

// Russian prose mixed with Latin, digits and punctuation: characters every
// one of the five encodings holds, so that the text comes back unchanged.
std::u16string MakeText(size_t minimumUnits) {
  const std::u16string paragraph =
      u"Вечером мы сидели у печки и слушали, как за окном шумит ветер.\n"
      u"Программа для БК-0010 занимает 16384 байта; MOV R0, R1 ; копия\n"
      u"Утром пришло письмо: встреча переносится на среду, зал Б.\n"
      u"The quick brown fox jumps over the lazy dog 1234567890 times.\n";
  std::u16string text;
  while (text.size() < minimumUnits) text += paragraph;
  return text;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long FileSize(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  return size;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/morva-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string path = std::string(pattern) + "/text.txt";
  const std::wstring name = WidenName(path.c_str());
  const std::u16string text = MakeText(4u << 20);

  std::printf("%-18s %10s %12s %12s  %s\n", "encoding", "bytes", "write MB/s", "read MB/s",
              "round trip");
  bool allGood = true;
  for (TextFormat format : {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251,
                            TextFormat::Utf8, TextFormat::Utf16le}) {
    auto start = std::chrono::steady_clock::now();
    bool written = true;
    {
      CWinFile out(name, format);
      written = out.Open(true);
      for (CodeUnit c : text) written = out.WriteChar(c) && written;
      written = out.Close() && written;
    }
    const double writeSeconds = Seconds(start);
    const double megabytes = FileSize(path) / 1e6;

    start = std::chrono::steady_clock::now();
    std::u16string back;
    back.reserve(text.size());
    {
      CWinFile in(name, TextFormat::Auto);
      if (in.Open(false)) {
        for (;;) {
          const CodeUnit c = in.ReadChar();
          if (in.IsEOF()) break;
          if (c != u'\r') back += c;  // CR LF line ends come back as LF
        }
      }
    }
    const double readSeconds = Seconds(start);
    const bool same = written && back == text;
    allGood = allGood && same;
    std::printf("%-18s %10ld %12.1f %12.1f  %s\n", NarrowName(EncodingName(format)).c_str(),
                FileSize(path), megabytes / writeSeconds, megabytes / readSeconds,
                same ? "ok" : "DIFFERS");
  }

  // Detection on a 20 MB file: bytes read and time per detection.
  const std::u16string big = MakeText(20u << 20);
  std::printf("\n%-18s %10s %12s %12s  %s\n", "detection", "file bytes", "bytes read", "us each",
              "verdict");
  for (TextFormat format : {TextFormat::Koi8r, TextFormat::Oem866, TextFormat::Win1251,
                            TextFormat::Utf8, TextFormat::Utf16le}) {
    {
      CWinFile out(name, format);
      bool written = out.Open(true);
      for (size_t i = 0;
           written && i < (20u << 20) / (format == TextFormat::Utf16le ? 2 : 1) && i < big.size();
           ++i) {
        written = out.WriteChar(big[i]);
      }
      allGood = out.Close() && written && allGood;
    }
    constexpr int kRounds = 50;
    CWinFile in(name, TextFormat::Auto);
    TextFormat verdict = TextFormat::Auto;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round) verdict = in.DetectEncoding();
    const double micros = Seconds(start) * 1e6 / kRounds;
    const bool right = verdict == format && in.GetBytesRead() <= kDetectionPrefix;
    allGood = allGood && right;
    std::printf("%-18s %10ld %12llu %12.0f  %s\n", NarrowName(EncodingName(format)).c_str(),
                FileSize(path), static_cast<unsigned long long>(in.GetBytesRead()), micros,
                right ? "right" : "WRONG");
  }
  unlink(path.c_str());
  rmdir(pattern);
  return allGood ? 0 : 1;
}
