#!/usr/bin/env python3
"""Writes the C++ source of a stand-in for the product's console program, for the benchmark.

The program is about 3.5 MB once cross-built: some hundred kilobytes of real, varied machine code
(generated functions with arithmetic, branches and jump tables, all reachable) and a large
constant table of fixed-size records (identifiers, categories, flags, weights, hashes and names)
that is pseudo-random but structured, so the whole file compresses about as well as a real
stripped executable does (LZMA to roughly a third). The output is deterministic for a seed.

usage: generate_payload.py OUT.cpp [--table-bytes N] [--functions N] [--seed N]
"""
import argparse
import random
import struct

SYLLABLES = ["ka", "ri", "to", "mo", "zen", "lu", "var", "pel", "in", "or", "ane", "sta", "quo",
             "dex", "bri", "sol", "tem", "nix", "ul", "gra", "fen", "hol", "cy", "ma", "tor"]
FLAG_VALUES = [0x0000, 0x0001, 0x0003, 0x0010, 0x0011, 0x0100, 0x0400, 0x8001]
RECORD = struct.Struct("<IHHfI16s")  # 32 bytes


def make_words(rng, count):
    words = set()
    while len(words) < count:
        words.add("".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 4)))[:11])
    return sorted(words)


def make_table(rng, size):
    words = make_words(rng, 600)
    out = bytearray()
    ident = 1000
    i = 0
    while len(out) < size:
        ident += rng.choice((1, 1, 1, 2, 3, 7))
        category = min(int(rng.expovariate(0.15)), 63)
        flags = rng.choice(FLAG_VALUES) if rng.random() < 0.9 else rng.getrandbits(16)
        weight = round(rng.gauss(50.0, 20.0), 2)
        digest = rng.getrandbits(32)
        name = f"{rng.choice(words)}_{i % 97}".encode()[:15]
        out += RECORD.pack(ident, category, flags, weight, digest, name)
        i += 1
    return bytes(out[:size])


def c_literal_lines(data, width=120):
    lines, line = [], []
    length = 0
    for b in data:
        if 0x20 <= b < 0x7F and b not in (0x22, 0x5C, 0x3F):
            piece = chr(b)
        else:
            piece = "\\%03o" % b
        line.append(piece)
        length += len(piece)
        if length >= width:
            lines.append('"' + "".join(line) + '"')
            line, length = [], 0
    if line:
        lines.append('"' + "".join(line) + '"')
    return lines


def make_function(rng, index):
    c = [rng.getrandbits(64) | 1 for _ in range(6)]
    r = [rng.randint(1, 63) for _ in range(3)]
    cases = rng.randint(4, 12)
    body = [f"std::uint64_t stage_{index}(std::uint64_t x, const Record& rec) {{",
            f"  x = x * 0x{c[0]:x}ull + rec.ident;",
            f"  if ((x >> {r[0]}) & 1) x ^= std::rotl(x, {r[1]});",
            f"  else x += 0x{c[1]:x}ull ^ rec.flags;",
            f"  switch (static_cast<unsigned>(x % {cases}u) + rec.category % 3u) {{"]
    for k in range(cases + 2):
        op = rng.choice(["x ^= 0x{:x}ull;", "x += 0x{:x}ull;", "x *= 0x{:x}ull;",
                         "x = std::rotr(x, {}) ^ 0x{:x}ull;", "x -= rec.digest * 0x{:x}ull;"])
        if "{}" in op and op.count("{") == 2:
            stmt = op.format(rng.randint(1, 63), rng.getrandbits(48))
        else:
            stmt = op.format(rng.getrandbits(48))
        body.append(f"    case {k}: {stmt} break;")
    body += ["    default: break;", "  }",
             f"  for (unsigned i = 0; i < (rec.category & 3u); ++i) x = (x ^ (x >> {r[2]})) * 0x{c[2]:x}ull;",
             f"  if (rec.weight > {rng.uniform(0, 100):.2f}f) x ^= 0x{c[3]:x}ull;",
             f"  return x + 0x{c[4]:x}ull;", "}"]
    return "\n".join(body)


PROGRAM = r'''
int say(const char* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return 0;
  WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  return 0;
}

Record record_at(std::size_t i) {
  Record rec;
  std::memcpy(&rec, table_bytes + i * sizeof(Record), sizeof(Record));
  return rec;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"--version") == 0) return say("orvane-worker 0.2.3 (benchmark payload)\r\n");
  if (argc > 1 && std::wcscmp(argv[1], L"--checksum") == 0) {
    std::uint64_t x = 0;
    const std::size_t count = (sizeof(table_bytes) - 1) / sizeof(Record);
    for (std::size_t i = 0; i < count; ++i) x = stages[i % std::size(stages)](x, record_at(i));
    char text[40];
    std::snprintf(text, sizeof text, "%016llx\r\n", static_cast<unsigned long long>(x));
    return say(text);
  }
  return say("orvane-worker (benchmark payload)\r\nUsage: orvane-worker [--version | --checksum]\r\n");
}
'''


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--table-bytes", type=int, default=2_900_000)
    parser.add_argument("--functions", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=20240601)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    parts = ["// Generated by bench/payload/generate_payload.py; do not edit.",
             "#include <windows.h>", "#include <bit>", "#include <cstdint>", "#include <cstdio>",
             "#include <cstring>", "#include <cwchar>", "#include <iterator>", "",
             "namespace {", "",
             "struct Record { std::uint32_t ident; std::uint16_t category; std::uint16_t flags;"
             " float weight; std::uint32_t digest; char name[16]; };",
             "static_assert(sizeof(Record) == 32);", "",
             "const unsigned char table_bytes[] ="]
    parts += c_literal_lines(make_table(rng, args.table_bytes))
    parts[-1] += ";"
    parts.append("")
    for i in range(args.functions):
        parts.append(make_function(rng, i))
    parts.append("using Stage = std::uint64_t (*)(std::uint64_t, const Record&);")
    parts.append("const Stage stages[] = {" + ", ".join(f"stage_{i}" for i in range(args.functions)) + "};")
    parts.append(PROGRAM)
    with open(args.out, "w", encoding="ascii") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main()
