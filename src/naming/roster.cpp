#include "naming/roster.h"

// Characters: three-letter abbreviation, then the Japanese name.
constexpr std::string_view CHARACTER_ABBREVIATIONS[kCharacterCount] = {
    "Kov", "Dru", "Ish", "Mal", "Tev", "Brn", "Quy", "Zel", "Fen", "Oru", "Vas",
};

constexpr std::string_view CHARACTER_NAMES_JA[kCharacterCount] = {
    "コヴァル", "ドルーネ", "イシュカ", "真白",   "テヴ",   "ブランカ",
    "九夜",     "ゼルマ",   "フェン",   "オルド", "ヴァス",
};

// Three cards per character, in choice order.
constexpr std::string_view FIRST_CARD_LABELS[kCardCount] = {
    "烈風", "氷刃", "雷槌",  // Kov
    "蒼月", "灯籠", "砂塵",  // Dru
    "朱雀", "紅蓮", "霧雨",  // Ish
    "白夜", "銀河", "星屑",  // Mal
    "鉄壁", "旋風", "黒潮",  // Tev
    "火輪", "翠玉", "鳴門",  // Brn
    "墨染", "春嵐", "夜叉",  // Quy
    "金剛", "深淵", "幻灯",  // Zel
    "琥珀", "雪華", "岩戸",  // Fen
    "夕凪", "花弁", "天狼",  // Oru
    "陽炎", "水鏡", "鬼灯",  // Vas
};

constexpr std::string_view SECOND_CARD_LABELS[kCardCount] = {
    "疾走", "咆哮", "閃光",  // Kov
    "回帰", "結界", "反撃",  // Dru
    "祈願", "雲海", "落雷",  // Ish
    "氷柱", "迷宮", "連鎖",  // Mal
    "突進", "旋律", "封印",  // Tev
    "浮遊", "残響", "転生",  // Brn
    "鼓動", "滝壺", "灯火",  // Quy
    "波紋", "咲夜", "影踏",  // Zel
    "岬角", "星詠", "吹雪",  // Fen
    "灼熱", "宵闇", "鉤爪",  // Oru
    "逆鱗", "潮騒", "羽衣",  // Vas
};

// Slots 0-5 by day, 6-9 without a time, 10-15 the same places by night, 16-19 unused,
// 20 the first place at evening.
constexpr std::string_view STAGE_LABELS[kStageCount] = {
    "灰色の港 昼",
    "風見の丘 昼",
    "古い水車小屋 昼",
    "崩れかけた硝子の塔(Summit) 昼",
    "月影の森 昼",
    "赤煉瓦の広場 昼",
    "無人駅",
    "地底湖(Deep)",
    "雲上の庭",
    "時計台の裏",
    "灰色の港 夜",
    "風見の丘 夜",
    "古い水車小屋 夜",
    "崩れかけた硝子の塔(Summit) 夜",
    "月影の森 夜",
    "赤煉瓦の広場 夜",
    "",
    "",
    "",
    "",
    "灰色の港 夕",
};

int cardSlot(int character, int choice) { return character * kCardsPerCharacter + choice; }

PlayerLabels characterAbbreviations(const ReplayHeader& header) {
  return {rosterLabel(CHARACTER_ABBREVIATIONS, header.p1Character),
          rosterLabel(CHARACTER_ABBREVIATIONS, header.p2Character)};
}

PlayerLabels characterNames(const ReplayHeader& header) {
  return {rosterLabel(CHARACTER_NAMES_JA, header.p1Character),
          rosterLabel(CHARACTER_NAMES_JA, header.p2Character)};
}

CardLabels cardLabels(const ReplayHeader& header) {
  return {rosterLabel(FIRST_CARD_LABELS, cardSlot(header.p1Character, header.p1FirstCard)),
          rosterLabel(SECOND_CARD_LABELS, cardSlot(header.p1Character, header.p1SecondCard)),
          rosterLabel(FIRST_CARD_LABELS, cardSlot(header.p2Character, header.p2FirstCard)),
          rosterLabel(SECOND_CARD_LABELS, cardSlot(header.p2Character, header.p2SecondCard))};
}

std::string_view stageLabel(const ReplayHeader& header) {
  return rosterLabel(STAGE_LABELS, header.stage);
}
