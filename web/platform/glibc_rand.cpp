#include "glibc_rand.h"

#include <stdint.h>

/*
 * glibc's default generator: an additive feedback generator over 34 words,
 * r[i] = r[i-3] + r[i-31] modulo 2^32, seeded by a Lehmer sequence (16807 modulo
 * 2^31 - 1), whose first 310 outputs are thrown away; rand() is the word shifted
 * right by one.
 */
namespace {

const int kDegree = 31;
const int kLag = 3;
const int kDiscard = 310;

uint32_t s_words[kDegree];
int s_front = kLag;
int s_rear = 0;
bool s_seeded = false;

int32_t lehmer(int32_t word) {
    // 16807 * word modulo 2^31 - 1 without overflow (Schrage's method, as glibc does it).
    int32_t hi = word / 127773;
    int32_t lo = word % 127773;
    int32_t next = 16807 * lo - 2836 * hi;
    return next < 0 ? next + 2147483647 : next;
}

uint32_t step() {
    uint32_t value = s_words[s_front] + s_words[s_rear];
    s_words[s_front] = value;
    if (++s_front == kDegree) s_front = 0;
    if (++s_rear == kDegree) s_rear = 0;
    return value;
}

} // namespace

void nv_srand(unsigned int seed) {
    int32_t word = seed == 0 ? 1 : (int32_t)seed;
    s_words[0] = (uint32_t)word;
    for (int i = 1; i < kDegree; i++) {
        word = lehmer(word);
        s_words[i] = (uint32_t)word;
    }
    s_front = kLag;
    s_rear = 0;
    for (int i = 0; i < kDiscard; i++) step();
    s_seeded = true;
}

int nv_rand(void) {
    if (!s_seeded) nv_srand(1);
    return (int)(step() >> 1);
}
