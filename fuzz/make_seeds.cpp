// Remakes the seed corpora of the walk, decoder and interface targets from the corpus archives
// and the tests' stream writers: fuzz_make_seeds SOURCE_DIR [OUT_DIR] rewrites the folders
// {walk,rar20,rar29,ppmd,urar}_seeds in OUT_DIR (default SOURCE_DIR/fuzz). Seeds stay small
// (streams of a few hundred bytes) so a fuzzing run of seconds already executes them thousands
// of times. Every stream built by a writer is decoded here first and must come out whole, so a
// seed never silently stops being what its name says.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz/stream_entry.h"
#include "tests/urar/rar20_writer.h"
#include "tests/urar/rar29_stream_writer.h"
#include "urar/common/extract_result.h"
#include "urar/filters/filter_vm_internal.h"

namespace fs = std::filesystem;
using fuzz_stream::Options;
using ByteVector = std::vector<uint8_t>;

namespace {

constexpr size_t kWholeStream = 512;  // longer packed data are cut to their first kCutStream bytes
constexpr size_t kCutStream = 384;
constexpr size_t kSeedsPerKind = 16;  // corpus seeds per decoder, besides the writers' streams
constexpr int kSeedsPerArchive = 2;
constexpr size_t kSmallArchive = 400;  // corpus archives up to this size seed the walk as they are

ByteVector ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return ByteVector((std::istreambuf_iterator<char>(in)), {});
}

void WriteFile(const fs::path& p, const ByteVector& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct StreamSeed {
  std::string name;
  Options options;
  ByteVector stream;
  bool whole = false;    // the entry's packed data in full: it decodes to its real bytes
  bool filters = false;  // decoding it defines a filter program
};

ByteVector SeedBytes(const StreamSeed& s) {
  ByteVector out = fuzz_stream::EncodeOptions(s.options);
  out.insert(out.end(), s.stream.begin(), s.stream.end());
  return out;
}

bool g_defined_filter = false;
void NoteFilter(const uint8_t*, uint32_t) { g_defined_filter = true; }

// The version the target gives its entry.
uint8_t VersionOf(const std::string& target, const Options& o) {
  if (target == "rar20") return o.alternate_version ? 26 : 20;
  return o.alternate_version ? 36 : 29;
}

// Decodes a seed as its target does; the first entry's result.
int DecodeSeed(const StreamSeed& s, uint8_t unp_ver) {
  const auto decoded = fuzz_stream::DecodeEntries(
      fuzz_stream::StreamArchive(s.options, unp_ver, s.stream, false), s.options.interpret_filters);
  return decoded.empty() ? -1 : decoded[0].result;
}

enum class Kind { kRar20, kRar29, kPpmd };

// Entries of the corpus archives by decoder: their packed data, cut when long.
std::map<Kind, std::vector<StreamSeed>> CorpusStreams(const fs::path& fixtures) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fixtures))
    if (e.path().extension() != ".tsv" && e.path().extension() != ".md") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::map<Kind, std::vector<StreamSeed>> found;
  std::set<ByteVector> seen;
  for (const fs::path& file : files) {
    const ByteVector archive = ReadFile(file);
    TestReader r(archive);
    int index = 0, taken = 0;
    for (int end = r.First(); end == 0 && taken < kSeedsPerArchive; end = r.Next(), ++index) {
      const ArchiveReader& a = r.reader();
      const EntryHeader& e = a.entry;
      // Solid successors need their predecessor; encrypted and RAR 1.5 data decode nothing.
      if (e.method == 0x30 || (e.flags & 0x14) || e.unp_ver < 20 || e.high_unp_size) continue;
      const size_t start = size_t(a.block_position) + a.block_header_size;
      if (start >= archive.size() || e.pack_size == 0) continue;
      const size_t available = std::min<size_t>(e.pack_size, archive.size() - start);
      const bool whole = available == e.pack_size && available <= kWholeStream;
      StreamSeed s;
      const size_t kept = whole ? available : std::min(available, kCutStream);
      s.stream.assign(archive.begin() + long(start), archive.begin() + long(start + kept));
      // Volumes and copies of one archive carry the same stream: keep it once.
      const ByteVector head(s.stream.begin(), s.stream.begin() + long(std::min<size_t>(64, kept)));
      if (!seen.insert(head).second) continue;
      s.name = file.stem().string() + "-" + std::to_string(index) + (whole ? "" : "-start");
      s.options.dictionary_bits = uint8_t((e.flags >> 5) & 7);
      s.options.alternate_version = e.unp_ver == 26 || e.unp_ver == 36;
      s.options.declared_size = std::min(e.unp_size, fuzz_stream::kMaxDeclaredSize);
      s.whole = whole && e.unp_size <= fuzz_stream::kMaxDeclaredSize;
      s.options.file_crc = s.whole ? e.file_crc : 0;
      Kind kind = e.unp_ver < 29 ? Kind::kRar20 : (s.stream[0] & 0x80) ? Kind::kPpmd : Kind::kRar29;
      g_defined_filter = false;
      DecodeSeed(s, e.unp_ver);
      s.filters = g_defined_filter;
      found[kind].push_back(s);
      ++taken;
    }
  }
  // Streams that define filters first, then whole ones.
  for (auto& [kind, seeds] : found) {
    std::stable_sort(seeds.begin(), seeds.end(), [](const StreamSeed& a, const StreamSeed& b) {
      if (a.filters != b.filters) return a.filters;
      return a.whole > b.whole;
    });
    if (seeds.size() > kSeedsPerKind) seeds.resize(kSeedsPerKind);
  }
  return found;
}

StreamSeed WriterSeed(const std::string& name, const ByteVector& stream, const ByteVector& content,
                      uint8_t dictionary_bits = 0, bool solid_continuation = false) {
  StreamSeed s;
  s.name = name;
  s.stream = stream;
  s.options.dictionary_bits = dictionary_bits;
  s.options.solid_continuation = solid_continuation;
  s.options.declared_size = uint32_t(content.size());
  s.options.file_crc = rarblocks::Crc32(content);
  s.whole = true;
  return s;
}

std::vector<StreamSeed> Rar20WriterStreams() {
  std::vector<StreamSeed> seeds;
  {
    Rar20Writer w;
    w.Tables(Rar20Writer::Uniform(9, 6, 5));
    for (char c : std::string("hello, hello")) w.Literal(uint8_t(c));
    w.Match(12, 7);
    w.Match(40, 2);
    seeds.push_back(WriterSeed("writer-literals-matches", w.TakePacked(), w.out));
  }
  {
    Rar20Writer w;  // a second table set coded as deltas from the first
    w.Tables(Rar20Writer::Uniform(9, 6, 5));
    for (char c : std::string("abcdefgh")) w.Literal(uint8_t(c));
    w.NewTablesFollow();
    std::vector<uint8_t> second = Rar20Writer::Uniform(9, 6, 5);
    second['a'] = 4;
    second['b'] = 4;
    w.Tables(second, /*keep_old=*/true);
    w.Literal('a');
    w.Match(30, 9);
    seeds.push_back(WriterSeed("writer-table-switch", w.TakePacked(), w.out, 0, true));
  }
  {
    // Symbol 256 (the last match again) gets the only 1-bit code: 700 repeats of a 200-byte
    // match at distance 1 wrap the 128 KB window in under 100 packed bytes.
    std::vector<uint8_t> lengths = Rar20Writer::Uniform(10, 6, 5);
    lengths[256] = 1;
    Rar20Writer w;
    w.Tables(lengths);
    w.Literal('a');
    w.Match(200, 1);
    for (int i = 0; i < 700; ++i) w.Bits(0, 1);
    ByteVector content(1 + 200 * 701, 'a');
    seeds.push_back(WriterSeed("writer-window-wrap", w.TakePacked(), content, 1));
  }
  return seeds;
}

std::vector<StreamSeed> Rar29WriterStreams(const fs::path& filter_seeds) {
  std::vector<StreamSeed> seeds;
  {
    Rar29StreamWriter s;
    s.Literals("abc");
    s.Match(10, 3);
    s.EndOfFile();
    seeds.push_back(WriterSeed("writer-abc", s.Finish(), Bytes("abcabcabcabca")));
  }
  {
    Rar29StreamWriter s;  // ends announcing new tables for a solid successor
    s.Literals("hello world");
    s.Match(5, 5);
    s.EndOfFile(/*new_tables=*/true);
    seeds.push_back(WriterSeed("writer-solid", s.Finish(), Bytes("hello worldworld"), 0, true));
  }
  // Each of the seven standard programs (the differential filter target's seeds hold them: a
  // 16-bit length, then the program) over a block of literals that gives it something to change,
  // with the registers its native code needs (channels, or row length and red position).
  const struct {
    const char* program;
    std::vector<uint32_t> registers;  // R0, R1, ... set through the definition's register mask
  } kFilters[] = {{"e8", {}},       {"e8e9", {}},   {"itanium", {}},   {"delta", {4}},
                  {"rgb", {12, 0}}, {"audio", {2}}, {"upper-case", {}}};
  for (const auto& filter : kFilters) {
    const ByteVector seed = ReadFile(filter_seeds / filter.program);
    const size_t code_size = seed[0] | size_t(seed[1]) << 8;
    ByteVector block;
    for (int i = 0; i < 64; ++i) block.push_back(i % 5 == 0 ? 0xE8 : uint8_t(i * 7));
    FilterDefinitionBits d;
    d.Number(1);  // filter 0, new
    d.Number(0);  // over the block from the decode position
    d.Number(uint32_t(block.size()));
    if (!filter.registers.empty()) {
      d.Bits((1u << filter.registers.size()) - 1, 7);
      for (uint32_t r : filter.registers) d.Number(r);
    }
    d.Number(uint32_t(code_size));
    for (size_t i = 0; i < code_size; ++i) d.Byte(seed[2 + i]);
    Rar29StreamWriter s;
    s.FilterDefinition(filter.registers.empty() ? 0xA0 : 0xB0, d.Bytes());
    for (uint8_t b : block) s.Literal(b);
    s.EndOfFile();
    StreamSeed out = WriterSeed(std::string("writer-filter-") + filter.program, s.Finish(), block);
    out.whole = false;  // the filter changes the block; its checksum is not the point
    out.options.file_crc = 0;
    seeds.push_back(out);
  }
  return seeds;
}

// Archives for the walk's edge cases: markers, skipped and stopping blocks, directories,
// volumes, long and odd names, 64-bit sizes, the old layout.
std::vector<std::pair<std::string, ByteVector>> WalkArchives() {
  using rarblocks::Writer;
  std::vector<std::pair<std::string, ByteVector>> out;
  auto dir = [](const std::string& name) {
    rarblocks::FileEntry f = Stored(name, "");
    f.flags = 0xE0;
    return f;
  };
  {
    Writer w;
    w.Marker().MainHeader().File(Stored("a.txt", "first")).File(dir("folder"));
    w.Block(0x7A, 0x8000, {1, 2}, {9, 9, 9}).File(Stored("folder\\b.txt", "second"));
    w.Block(0x75, 0, {}, {}, 0).File(Stored("c", "third")).EndOfArchive();
    out.push_back({"skipped-blocks", w.bytes});
  }
  {
    Writer w;
    w.Marker(/*rap=*/true).MainHeader().File(Stored("a", "1")).Block(0x78, 0);
    w.File(Stored("after-stopper", "2"));
    out.push_back({"rap-marker-stopper", w.bytes});
  }
  {
    Writer w;
    w.Marker().MainHeader(0x80).File(Stored("hidden", "x"));
    out.push_back({"encrypted-headers", w.bytes});
  }
  {
    rarblocks::FileEntry longname = Stored(std::string(300, 'n'), "long");
    rarblocks::FileEntry zero = Stored(std::string("dir\\name\0unicode", 16), "zero");
    zero.flags = 0x200;
    rarblocks::FileEntry high = Stored("high", "");
    high.flags = 0x100;
    high.high_unp_size = 1;
    rarblocks::FileEntry old_dir = Stored("oldver-dir", "");
    old_dir.unp_ver = 15;
    old_dir.attr = 0x10;
    out.push_back({"names-sizes", ArchiveOf({longname, zero, high, old_dir, Stored("last", "z")})});
  }
  {
    rarblocks::FileEntry split = Stored("split", "part");
    split.flags = 0x02;
    out.push_back({"volume-split-after", ArchiveOf({split, Stored("never", "n")})});
    rarblocks::FileEntry continued = Stored("continued", "rest");
    continued.flags = 0x01;
    out.push_back({"volume-split-before", ArchiveOf({continued, Stored("next", "n")})});
  }
  {
    Writer w;
    w.OldMainHeader().OldFile("OLD.TXT", Bytes("stored old")).OldFile("PACKED", Bytes("xyz"), 3);
    out.push_back({"old-layout", w.bytes});
  }
  return out;
}

void ResetFolder(const fs::path& p) {
  fs::remove_all(p);
  fs::create_directories(p);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: %s SOURCE_DIR [OUT_DIR]\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  const fs::path fixtures = root / "tests/fixtures/rar";
  const fs::path fuzz = argc == 3 ? fs::path(argv[2]) : root / "fuzz";
  g_vm_program_observer = NoteFilter;
  auto corpus = CorpusStreams(fixtures);
  g_vm_program_observer = nullptr;

  std::map<std::string, std::vector<StreamSeed>> targets = {{"rar20", corpus[Kind::kRar20]},
                                                            {"rar29", corpus[Kind::kRar29]},
                                                            {"ppmd", corpus[Kind::kPpmd]}};
  int failures = 0;
  const std::pair<std::string, std::vector<StreamSeed>> written[] = {
      {"rar20", Rar20WriterStreams()},
      {"rar29", Rar29WriterStreams(root / "fuzz/filter_diff_seeds")}};
  for (const auto& [target, seeds] : written) {
    for (const StreamSeed& s : seeds) {
      if (s.whole && DecodeSeed(s, VersionOf(target, s.options)) != kExtractOk) {
        fprintf(stderr, "%s: does not decode whole\n", s.name.c_str());
        ++failures;
      }
      targets[target].push_back(s);
    }
  }

  ResetFolder(fuzz / "urar_seeds");
  for (const auto& [target, seeds] : targets) {
    ResetFolder(fuzz / (target + "_seeds"));
    for (const StreamSeed& s : seeds) {
      WriteFile(fuzz / (target + "_seeds") / s.name, SeedBytes(s));
      // The same stream in an archive, as its target wraps it, for the interface's target.
      WriteFile(fuzz / "urar_seeds" / (target + "-" + s.name),
                fuzz_stream::StreamArchive(s.options, VersionOf(target, s.options), s.stream,
                                           s.options.solid_continuation));
    }
  }

  ResetFolder(fuzz / "walk_seeds");
  for (const auto& [name, archive] : WalkArchives()) {
    WriteFile(fuzz / "walk_seeds" / name, archive);
    WriteFile(fuzz / "urar_seeds" / ("walk-" + name), archive);
  }
  for (const auto& e : fs::directory_iterator(fixtures)) {
    if (e.path().extension() == ".tsv" || e.path().extension() == ".md") continue;
    if (fs::file_size(e.path()) > kSmallArchive) continue;
    fs::copy_file(e.path(), fuzz / "walk_seeds" / e.path().filename());
  }
  printf("seeds written under %s\n", fuzz.c_str());
  return failures == 0 ? 0 : 1;
}
