#include "daemon/regulatory/regdb.h"

#include <algorithm>
#include <iterator>

namespace ww {
namespace {

// Block lists shared by the 31 distinct plans (centre channel index and DFS
// bit). The 6 GHz lists are either the lower six / three blocks or all of them.
constexpr BlockEntry kBlocks0[] = {42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 155};
constexpr BlockEntry kBlocks1[] = {50 | kDfs, 114 | kDfs};
constexpr BlockEntry kSixGhzLower80[] = {7, 23, 39, 55, 71, 87};
constexpr BlockEntry kSixGhzLower160[] = {15, 47, 79};
constexpr BlockEntry kBlocks4[] = {42, 58 | kDfs, 106 | kDfs, 122 | kDfs};
constexpr BlockEntry kBlocks5[] = {42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 138 | kDfs, 155};
constexpr BlockEntry kBlocks6[] = {42, 155};
constexpr BlockEntry kBlocks7[] = {42, 58, 106, 138, 155};
constexpr BlockEntry kBlocks8[] = {50};
constexpr BlockEntry kBlocks9[] = {42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 138 | kDfs, 155, 171};
constexpr BlockEntry kBlocks10[] = {50 | kDfs, 114 | kDfs, 163};
constexpr BlockEntry kSixGhzAll80[] = {7,   23,  39,  55,  71,  87,  103,
                                       119, 135, 151, 167, 183, 199, 215};
constexpr BlockEntry kSixGhzAll160[] = {15, 47, 79, 111, 143, 175, 207};
constexpr BlockEntry kBlocks13[] = {42, 58 | kDfs, 106 | kDfs, 138 | kDfs, 155};
constexpr BlockEntry kBlocks14[] = {50 | kDfs};
constexpr BlockEntry kBlocks15[] = {42, 58, 106, 122, 138, 155};
constexpr BlockEntry kBlocks16[] = {50, 114};
constexpr BlockEntry kBlocks17[] = {42, 58 | kDfs, 155};
constexpr BlockEntry kBlocks18[] = {155};
constexpr BlockEntry kBlocks19[] = {42, 58, 106 | kDfs, 122 | kDfs, 155};
constexpr BlockEntry kBlocks20[] = {50, 114 | kDfs};
constexpr BlockEntry kBlocks21[] = {42, 58 | kDfs, 106 | kDfs, 138 | kDfs, 155, 171};
constexpr BlockEntry kBlocks22[] = {50 | kDfs, 163};
constexpr BlockEntry kBlocks23[] = {42};
constexpr BlockEntry kBlocks24[] = {42, 58 | kDfs};
constexpr BlockEntry kBlocks25[] = {42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 138 | kDfs};
constexpr BlockEntry kBlocks26[] = {42, 58, 106, 122, 155};
constexpr BlockEntry kBlocks27[] = {42, 58 | kDfs, 106 | kDfs, 122 | kDfs, 155, 171};

// clang-format off
constexpr ChannelPlan kPlans[] = {
    {"AD", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"AE", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AF", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AG", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AI", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AL", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AM", 14, 1, kBlocks6, 2, nullptr, 0, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"AN", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"AO", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AQ", 0, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0},
    {"AR", 0, 0, kBlocks7, 5, kBlocks8, 1, nullptr, 0, nullptr, 0},
    {"AS", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"AT", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"AU", 14, 1, kBlocks13, 5, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"AW", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"AX", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"AZ", 14, 1, kBlocks15, 6, kBlocks16, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BA", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BB", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"BD", 0, 0, kBlocks18, 1, nullptr, 0, nullptr, 0, nullptr, 0},
    {"BE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BF", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BG", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BH", 14, 1, kBlocks19, 5, kBlocks20, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BI", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BJ", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BL", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BM", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BN", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BO", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BQ", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BR", 17, -5, kBlocks5, 6, kBlocks1, 2, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"BS", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BT", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BV", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BW", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"BY", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"BZ", 0, 0, kBlocks15, 6, kBlocks16, 2, nullptr, 0, nullptr, 0},
    {"CA", 14, -5, kBlocks21, 6, kBlocks22, 2, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"CC", 14, 1, kBlocks13, 5, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CD", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"CF", 0, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0},
    {"CG", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"CH", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CI", 0, 0, kBlocks23, 1, nullptr, 0, nullptr, 0, nullptr, 0},
    {"CK", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CL", 17, -1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CM", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"CN", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"CO", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"CR", 14, 127, kBlocks5, 6, kBlocks1, 2, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"CV", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"CW", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CX", 14, 1, kBlocks13, 5, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CY", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"CZ", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"DE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"DJ", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"DK", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"DM", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"DO", 14, -8, kBlocks5, 6, kBlocks1, 2, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"DZ", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"EC", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"EE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"EG", 0, 0, kBlocks24, 2, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"EH", 14, 1, kBlocks24, 2, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ER", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"ES", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ET", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"FI", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"FJ", 14, 1, kBlocks18, 1, nullptr, 0, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"FK", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"FM", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"FO", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"FR", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GA", 0, 0, kBlocks24, 2, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"GB", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GD", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"GE", 14, 1, kBlocks4, 4, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GF", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GG", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GH", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GI", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GL", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"GM", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"GN", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GP", 14, 1, kBlocks4, 4, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GQ", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GR", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GS", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"GT", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"GU", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"GW", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"GY", 0, 0, kBlocks18, 1, nullptr, 0, nullptr, 0, nullptr, 0},
    {"HK", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"HM", 14, 1, kBlocks13, 5, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"HN", 14, -5, kBlocks15, 6, kBlocks16, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"HR", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"HT", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"HU", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ID", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"IE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"IL", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"IM", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"IN", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"IO", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"IQ", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"IS", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"IT", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"J1", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"JE", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"JM", 0, 0, kBlocks15, 6, kBlocks16, 2, nullptr, 0, nullptr, 0},
    {"JO", 14, 1, kBlocks6, 2, nullptr, 0, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"JP", 14, 1, kBlocks25, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"KE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"KG", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"KH", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"KM", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"KN", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"KR", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"KW", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"KY", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"KZ", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"LA", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"LB", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"LC", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"LI", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"LK", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"LR", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"LS", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"LT", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"LU", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"LV", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"LY", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MA", 14, 1, kBlocks24, 2, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MC", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MD", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ME", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MF", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MG", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MH", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MK", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"ML", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MM", 0, 0, kBlocks18, 1, nullptr, 0, nullptr, 0, nullptr, 0},
    {"MN", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MO", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MP", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"MQ", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MR", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MS", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MT", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MU", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MV", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"MW", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"MX", 14, 1, kBlocks7, 5, kBlocks8, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MY", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"MZ", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"NA", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"NC", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"NE", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"NF", 14, 1, kBlocks13, 5, kBlocks14, 1, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"NG", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"NI", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"NL", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"NO", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"NP", 0, 0, kBlocks26, 5, kBlocks16, 2, nullptr, 0, nullptr, 0},
    {"NU", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"NZ", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"OM", 14, 1, kBlocks4, 4, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"PA", 0, 0, kBlocks15, 6, kBlocks16, 2, nullptr, 0, nullptr, 0},
    {"PE", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"PF", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"PG", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"PH", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"PK", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"PL", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"PM", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"PN", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"PR", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"PT", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"PW", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"PY", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"QA", 14, 1, kBlocks27, 6, kBlocks10, 3, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"RE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"RO", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"RS", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"RU", 14, 1, kBlocks15, 6, kBlocks16, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"RW", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"SA", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"SC", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SE", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SG", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SH", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SI", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SJ", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SK", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SL", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SM", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SN", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"SR", 14, 1, kBlocks4, 4, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ST", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"SV", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"SX", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"SZ", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"TC", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"TD", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"TF", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"TG", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"TH", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"TJ", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"TK", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"TM", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"TN", 0, 0, kBlocks24, 2, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"TO", 0, 0, kBlocks24, 2, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"TR", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"TT", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"TW", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"TZ", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"UA", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"UG", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"UM", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"US", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"UY", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"UZ", 0, 0, kBlocks24, 2, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"VA", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"VC", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"VE", 0, 0, kBlocks17, 3, kBlocks14, 1, nullptr, 0, nullptr, 0},
    {"VG", 14, 11, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"VI", 14, -5, kBlocks9, 7, kBlocks10, 3, kSixGhzAll80, 14, kSixGhzAll160, 7},
    {"VN", 14, 1, kBlocks5, 6, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"VU", 0, 0, kBlocks5, 6, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"WF", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"WS", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"XA", 14, 1, kBlocks25, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"YE", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"YT", 14, 1, kBlocks4, 4, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ZA", 14, 1, kBlocks0, 5, kBlocks1, 2, kSixGhzLower80, 6, kSixGhzLower160, 3},
    {"ZM", 0, 0, kBlocks0, 5, kBlocks1, 2, nullptr, 0, nullptr, 0},
    {"ZW", 0, 0, kBlocks4, 4, kBlocks1, 2, nullptr, 0, nullptr, 0},
};
// clang-format on

static_assert(std::size(kPlans) == 239);

}  // namespace

std::span<const ChannelPlan> ChannelPlans() {
  return kPlans;
}

const ChannelPlan* regdb_find(const char* code) {  // NOLINT(readability-identifier-naming)
  if (code == nullptr || code[0] == '\0' || code[1] == '\0' || code[2] != '\0') {
    return nullptr;
  }
  const auto upper = [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  const char first = upper(code[0]);
  const char second = upper(code[1]);
  const auto* found = std::find_if(std::begin(kPlans), std::end(kPlans), [&](const ChannelPlan& p) {
    return p.code[0] == first && p.code[1] == second;
  });
  return found == std::end(kPlans) ? nullptr : found;
}

}  // namespace ww
