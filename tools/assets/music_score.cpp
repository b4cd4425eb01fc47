/*
 * The score. Both pieces are in A minor at 126 beats a minute and share their material: the
 * intro starts with pads and a closed-filter arpeggio, lets the drums, bass and lead in one by
 * one, and ends on a snare roll and a riser that land on the loop's first beat.
 *
 * How to read it. A pattern is a row of sixteenth-note steps, sixteen to the bar:
 *   drums   'x' a hit, 'o' a soft hit, '.' nothing;
 *   bass    'R' the chord's root, 'O' its octave, 'F' its fifth, '-' holds, '.' rests;
 *   arp     '0'..'7' the chord's tones counted upwards (4..7 an octave higher);
 *   lead    note names ("E5", "F#4"), '-' holds, '.' rests, tokens between spaces.
 * An arrangement is one character per bar: a pattern's letter, or '.' for silence. A pattern
 * longer than a bar continues bar by bar while its letter repeats. Level rows give one digit
 * per bar line ('0' silent .. '9' full) and glide from one bar line to the next.
 */
#include "music_score.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

namespace music {

namespace {

/* Chords, voiced around middle C; the bass takes the first entry an octave or two down. */
struct Chord {
    char name;
    int root;      /* MIDI note of the bass's root */
    int tones[4];  /* the pad's voicing, lowest first */
};

const Chord kChords[] = {
    {'a', 45, {57, 60, 64, 67}}, /* Am7: A C E G */
    {'f', 41, {53, 57, 60, 64}}, /* Fmaj7: F A C E */
    {'c', 48, {55, 60, 62, 64}}, /* Cadd9: G C D E */
    {'g', 43, {55, 59, 62, 64}}, /* G6: G B D E */
    {'d', 50, {53, 57, 60, 62}}, /* Dm7: F A C D */
    {'e', 40, {52, 55, 59, 62}}, /* Em7: E G B D */
};

/* ---- patterns ---- */

const std::map<char, const char*> kKickPatterns = {
    {'K', "x...x...x...x..."},
    {'L', "x...x...x......."}, /* the intro's last bar: the fourth beat drops out */
};

const std::map<char, const char*> kClapPatterns = {
    {'C', "....x.......x..."},
    {'D', "....x.......x.oo"}, /* a pickup into the next phrase */
    {'R', "....x...o.o.x.o."}, /* the build: the roll thickens... */
    {'S', "o.o.o.ooooooxxxx"}, /* ...into sixteenths */
};

const std::map<char, const char*> kHatPatterns = {
    {'H', "..x...x...x...x."},
    {'J', "o.x.o.x.o.xoo.x."},
};

const std::map<char, const char*> kOpenHatPatterns = {
    {'O', "..x...x...x...x."},
};

const std::map<char, const char*> kCrashPatterns = {
    {'X', "x..............."},
};

const std::map<char, const char*> kBassPatterns = {
    {'A', "..R-..R-..R-..R-"},
    {'B', "..RR..RO..RR..OR"},
};

const std::map<char, const char*> kArpPatterns = {
    {'A', "0123432101234321"},
    {'B', "0.24.25.4.26.47."},
};

/* Lead phrases, four bars each, over the chords a f c g and d e f g. */
const std::map<char, const char*> kLeadPatterns = {
    {'L', "E5 - - D5 C5 - D5 - E5 - - - A4 - C5 - "
          "C5 - - A4 F4 - A4 - C5 - - - E5 - D5 - "
          "E5 - - - G5 - E5 - D5 - C5 - D5 - - - "
          "D5 - - B4 G4 - - - A4 - B4 - D5 - - - "},
    {'M', "F5 - - E5 D5 - - - A4 - D5 - E5 - F5 - "
          "G5 - - E5 D5 - - - B4 - D5 - E5 - G5 - "
          "A5 - - G5 F5 - - - C5 - F5 - E5 - C5 - "
          "D5 - - - B4 - - - D5 - - - E5 - - - "},
};

/* ---- the pieces ---- */

struct Arrangement {
    const char* name;
    bool loops;
    const char* chords;
    const char* pad;
    const char* arp;
    const char* bass;
    const char* kick;
    const char* clap;
    const char* hat;
    const char* openHat;
    const char* crash;
    const char* riser; /* 'R' starts a riser that lasts while the letter repeats */
    const char* lead;
    /* bar lines */
    const char* padLevel;
    const char* arpLevel;
    const char* hatLevel;
    const char* arpBright;
    const char* padBright;
};

const Arrangement kIntroScore = {
    "tarn1", false,
    /* bars      123456789012345678 */
    /* chords */ "afcgafcgafcgafcgfg",
    /* pad    */ "pppppppppppppppppp",
    /* arp    */ "AAAAAAAABBBBBBBBBB",
    /* bass   */ "........AAAABBBBBB",
    /* kick   */ "....KKKKKKKKKKKKKL",
    /* clap   */ "........CCCCCCCDRS",
    /* hat    */ "....HHHHJJJJJJJJJJ",
    /* ohat   */ "............OOOO..",
    /* crash  */ "....X...X...X.....",
    /* riser  */ "................RR",
    /* lead   */ "............LLLL..",
    /* bar lines 1234567890123456789 */
    /* pad    */ "2456777777777777777",
    /* arp    */ "4567888888888888899",
    /* hats   */ "0000577788888888899",
    /* arp Hz */ "0112233445566777899",
    /* pad Hz */ "2345666666666666666",
};

const Arrangement kLoopScore = {
    "tarn2", true,
    /* bars      123456789012 */
    /* chords */ "afcgafcgdefg",
    /* pad    */ "pppppppppppp",
    /* arp    */ "BBBBBBBBAAAA",
    /* bass   */ "BBBBBBBBBBBB",
    /* kick   */ "KKKKKKKKKKKK",
    /* clap   */ "CCCCCCCCCCCD",
    /* hat    */ "JJJJJJJJJJJJ",
    /* ohat   */ "OOOOOOOOOOOO",
    /* crash  */ "X...........",
    /* riser  */ "............",
    /* lead   */ "....LLLLMMMM",
    /* bar lines 1234567890123 */
    /* pad    */ "7777777777777",
    /* arp    */ "8888888888888",
    /* hats   */ "8888888888888",
    /* arp Hz */ "7777777777777",
    /* pad Hz */ "6666666666666",
};

/* ---- reading the score ---- */

[[noreturn]] void scoreError(const char* piece, const char* what) {
    fprintf(stderr, "music score %s: %s\n", piece, what);
    exit(2);
}

const Chord& chordOf(const Arrangement& a, int bar) {
    for (const Chord& c : kChords)
        if (c.name == a.chords[bar])
            return c;
    scoreError(a.name, "unknown chord");
}

/* Calls step(bar, letter, barWithinRun) for every bar whose arrangement letter is not '.'. */
template <typename F> void eachBar(const Arrangement& a, const char* row, int bars, F step) {
    if ((int)strlen(row) != bars)
        scoreError(a.name, "an arrangement row does not have one letter per bar");
    int runStart = 0;
    for (int b = 0; b < bars; b++) {
        if (b == 0 || row[b] != row[b - 1])
            runStart = b;
        if (row[b] != '.')
            step(b, row[b], b - runStart);
    }
}

const char* patternOf(const Arrangement& a, const std::map<char, const char*>& table, char c) {
    auto it = table.find(c);
    if (it == table.end())
        scoreError(a.name, "an arrangement names a pattern that does not exist");
    return it->second;
}

void addDrums(Piece* p, const Arrangement& a, const char* row,
              const std::map<char, const char*>& table, Voice voice) {
    eachBar(a, row, p->bars, [&](int bar, char letter, int) {
        const char* pat = patternOf(a, table, letter);
        if (strlen(pat) != (size_t)kStepsPerBar)
            scoreError(a.name, "a drum pattern is not one bar long");
        for (int s = 0; s < kStepsPerBar; s++) {
            if (pat[s] == '.')
                continue;
            float velocity = pat[s] == 'x' ? 1.0f : 0.55f;
            p->events.push_back({voice, (long)bar * kStepsPerBar + s, 1, 0, velocity});
        }
    });
}

/* Sixteenth-step tokens of a tonal pattern: each token is what starts on that step. */
std::vector<std::string> tokens(const char* pattern, bool spaced) {
    std::vector<std::string> out;
    if (!spaced) {
        for (const char* c = pattern; *c; c++)
            out.push_back(std::string(1, *c));
        return out;
    }
    std::string cur;
    for (const char* c = pattern;; c++) {
        if (*c == ' ' || *c == '\0') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
            if (*c == '\0')
                break;
        } else {
            cur += *c;
        }
    }
    return out;
}

int noteNumber(const Arrangement& a, const std::string& name) {
    static const int kPitchClass[7] = {9, 11, 0, 2, 4, 5, 7}; /* A B C D E F G */
    if (name.empty() || name[0] < 'A' || name[0] > 'G')
        scoreError(a.name, "a lead note is not a note name");
    int pc = kPitchClass[name[0] - 'A'];
    size_t i = 1;
    if (i < name.size() && (name[i] == '#' || name[i] == 'b'))
        pc += name[i++] == '#' ? 1 : -1;
    if (i >= name.size())
        scoreError(a.name, "a lead note has no octave");
    return 12 * (atoi(name.c_str() + i) + 1) + pc;
}

/* Notes of a tonal row: the length of each runs over the '-' tokens after it. pitchOf maps a
 * token (with the bar it starts in) to a MIDI note. */
template <typename F>
void addTonal(Piece* p, const Arrangement& a, const char* row,
              const std::map<char, const char*>& table, Voice voice, bool spaced, float velocity,
              F pitchOf) {
    eachBar(a, row, p->bars, [&](int bar, char letter, int barInRun) {
        std::vector<std::string> steps = tokens(patternOf(a, table, letter), spaced);
        if (steps.empty() || steps.size() % kStepsPerBar != 0)
            scoreError(a.name, "a tonal pattern is not a whole number of bars");
        int patternBars = (int)(steps.size() / kStepsPerBar);
        int first = (barInRun % patternBars) * kStepsPerBar;
        for (int s = 0; s < kStepsPerBar; s++) {
            const std::string& t = steps[first + s];
            if (t == "-" || t == ".")
                continue;
            int len = 1;
            while (s + len < kStepsPerBar && steps[first + s + len] == "-")
                len++;
            p->events.push_back(
                {voice, (long)bar * kStepsPerBar + s, len, pitchOf(t, bar), velocity});
        }
    });
}

std::vector<float> barLines(const Arrangement& a, const char* row, int bars, double lo, double hi,
                            bool exponential) {
    if ((int)strlen(row) != bars + 1)
        scoreError(a.name, "a level row does not have one digit per bar line");
    std::vector<float> out;
    for (int i = 0; i <= bars; i++) {
        if (row[i] < '0' || row[i] > '9')
            scoreError(a.name, "a level row holds something other than digits");
        double u = (row[i] - '0') / 9.0;
        out.push_back((float)(exponential ? lo * pow(hi / lo, u) : lo + (hi - lo) * u));
    }
    return out;
}

Piece build(const Arrangement& a, int bars) {
    Piece p;
    p.name = a.name;
    p.bars = bars;
    p.loops = a.loops;
    if ((int)strlen(a.chords) != bars)
        scoreError(a.name, "the chord row does not have one chord per bar");

    addDrums(&p, a, a.kick, kKickPatterns, kKick);
    addDrums(&p, a, a.clap, kClapPatterns, kClap);
    addDrums(&p, a, a.hat, kHatPatterns, kHat);
    addDrums(&p, a, a.openHat, kOpenHatPatterns, kOpenHat);
    addDrums(&p, a, a.crash, kCrashPatterns, kCrash);
    eachBar(a, a.riser, bars, [&](int bar, char, int barInRun) {
        if (barInRun != 0)
            return;
        int len = 1;
        while (bar + len < bars && a.riser[bar + len] == a.riser[bar])
            len++;
        p.events.push_back({kRiser, (long)bar * kStepsPerBar, len * kStepsPerBar, 0, 1.0f});
    });

    /* the pad holds each chord while it lasts */
    eachBar(a, a.pad, bars, [&](int bar, char, int barInRun) {
        if (barInRun != 0 && a.chords[bar] == a.chords[bar - 1])
            return;
        int len = 1;
        while (bar + len < bars && a.pad[bar + len] != '.' && a.chords[bar + len] == a.chords[bar])
            len++;
        for (int tone : chordOf(a, bar).tones)
            p.events.push_back({kPad, (long)bar * kStepsPerBar, len * kStepsPerBar, tone, 1.0f});
    });

    addTonal(&p, a, a.bass, kBassPatterns, kBass, false, 1.0f, [&](const std::string& t, int bar) {
        int root = chordOf(a, bar).root;
        switch (t[0]) {
        case 'R': return root;
        case 'O': return root + 12;
        case 'F': return root + 7;
        }
        scoreError(a.name, "a bass pattern holds an unknown step");
    });
    addTonal(&p, a, a.arp, kArpPatterns, kArp, false, 1.0f, [&](const std::string& t, int bar) {
        int i = t[0] - '0';
        if (i < 0 || i > 7)
            scoreError(a.name, "an arpeggio step is not a chord tone");
        return chordOf(a, bar).tones[i % 4] + 12 * (i / 4) + 12;
    });
    addTonal(&p, a, a.lead, kLeadPatterns, kLead, true, 1.0f,
             [&](const std::string& t, int) { return noteNumber(a, t); });

    for (int v = 0; v < kVoiceCount; v++)
        p.level[v].assign(bars + 1, 1.0f);
    p.level[kPad] = barLines(a, a.padLevel, bars, 0.0, 1.0, false);
    p.level[kArp] = barLines(a, a.arpLevel, bars, 0.0, 1.0, false);
    p.level[kHat] = barLines(a, a.hatLevel, bars, 0.0, 1.0, false);
    p.level[kOpenHat] = p.level[kHat];
    p.arpBright = barLines(a, a.arpBright, bars, 350.0, 5000.0, true);
    p.padBright = barLines(a, a.padBright, bars, 500.0, 3000.0, true);
    return p;
}

} // namespace

Piece music_piece(int which) {
    if (which == kIntro)
        return build(kIntroScore, kIntroBars);
    return build(kLoopScore, kLoopBars);
}

std::vector<long> music_kicks(const Piece& piece) {
    std::vector<long> out;
    for (const Event& e : piece.events)
        if (e.voice == kKick)
            out.push_back(e.step * kSamplesPerStep);
    return out;
}

} // namespace music
