#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// Pinyin codes of GBK characters and the Pinyin comparison behind the Letter search.
//
// The code of a character is the first letter of its syllable when the syllable starts with a consonant (zh, ch,
// sh give z, c, s; y and w count as consonants) and the whole syllable when it starts with a vowel (a, e, o, ai,
// an, ang, er, ...). A character with several readings has several codes: 单 is d, c and s. Full-width Latin
// letters have the code of their lower-case letter. Every other byte pair has no code.
//
// Characters are grouped into classes, one class per distinct set of codes; class 0 is "no code".
namespace telvane::query {

// The class of the byte pair lead, trail (any two bytes; only GBK double-byte characters have a class other
// than 0).
std::uint8_t pinyinClass(unsigned char lead, unsigned char trail);
// The class of every byte pair, indexed by lead * 256 + trail.
const std::array<std::uint8_t, 65536>& pinyinClassTable();
// The number of classes, class 0 included.
int pinyinClassCount();
// The codes of a class (none for class 0), lower-case ASCII, sorted.
std::span<const std::string_view> pinyinClassCodes(int classId);
// The codes of the first two bytes of a GBK text (none when it is shorter or they have no code).
std::span<const std::string_view> pinyinCodes(std::string_view gbkChar);

// Match modes of pinyinCompare.
inline constexpr int kPinyinInitials = 1; // the letters are the codes of the whole candidate, one per character

// Answers 1 when `letters` are the Pinyin code of `candidate`: the candidate read as consecutive byte pairs, every
// pair a character with a code, and the letters the concatenation of one code per pair, in order. Any other
// answer means no match: 0 when the letters do not fit, -1 for an unknown mode.
//
// With foldCase false the letters are taken exactly: an upper-case letter, a blank or any other byte that is not
// a-z never matches. With foldCase true A-Z are read as a-z. Empty letters never match. A candidate of odd
// length, or one with a byte pair that has no code (single-byte characters, a pair cut across two characters
// that happens not to be a character, GB18030 four-byte characters), never matches.
int pinyinCompare(std::string_view letters, std::string_view candidate, bool foldCase = false,
                  int mode = kPinyinInitials);

} // namespace telvane::query
