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
//
// A character also has its readings as whole toneless syllables (lower-case ASCII, ü written v as it is typed:
// 女 nv), the usual reading first: 单 dan chan shan. Its codes are the codes of those syllables, and a full-width
// letter's code is its letter.
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

// The syllables of the first two bytes of a GBK text, the usual reading first: none when they are no GBK
// double-byte character with a reading (symbols, letters, digits, a text shorter than two bytes).
std::span<const std::string_view> pinyinSyllables(std::string_view gbkChar);
// The syllable of a character read as a surname: the surname reading where it has one that is not the usual reading
// (曾 zeng, 单 shan, 区 ou, 解 xie, 朴 piao, 查 zha), the usual syllable otherwise, empty when it has none. With the
// character after it, a compound surname that reads otherwise is read as one: 尉 before 迟 is yu (尉 alone is the
// surname Wei), 万 before 俟 mo, 单 before 于 chan. The second character of such a surname reads as usual.
std::string_view pinyinSurname(std::string_view gbkChar, std::string_view nextGbkChar = {});

// Every syllable any character has, sorted, numbered from 0; and the numbers of a GBK double-byte character's
// syllables (the usual first), for code that works on numbers.
int pinyinSyllableCount();
std::string_view pinyinSyllable(int id);
std::span<const std::uint16_t> pinyinSyllableIds(unsigned char lead, unsigned char trail);

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
