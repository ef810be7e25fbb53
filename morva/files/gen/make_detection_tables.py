#!/usr/bin/env python3
"""Builds morva/files/detection_tables.cpp: the letter-pair statistics with
which morva tells code page 866, code page 1251 and KOI8R apart.

The model. Every character of a text is one of 45 symbols: a boundary (any
ASCII character that is not a letter), a Latin letter, one of 38 Cyrillic
letters (the 33 Russian ones and і ї є ґ ў, upper and lower case alike), a
rarer Cyrillic letter, a typographic sign (« » — … № and the like), a box
drawing character, another sign, or a byte that stands for nothing. The
tables hold, in sixteenths of a nat (natural-logarithm units):

  PairCost[a][b]   -ln P(next symbol b | symbol a), counted over the training
                   texts listed in SOURCES.md, smoothed by adding half a count
                   to every pair, never above kFloor.
  the byte tables  for each byte 0x80..0xFF under each code page: its symbol,
                   its case and the cost of that very character among the
                   characters of its symbol (a typographic sign: -ln of its
                   share among the typographic signs of the training texts).
  CaseCost         -ln P(case of a letter | what came before): not counted but
                   set here, see CASE_MODEL.
  BoxRepeatCost    a box drawing character repeating the one before it (the
                   lines of frames and tables).

The score of a hypothesis is the sum of these costs over the bytes read as
that code page; the cheapest hypothesis wins. Run from the repository root
with the packages of SOURCES.md installed:

    python3 morva/files/gen/make_detection_tables.py > morva/files/detection_tables.cpp
"""

import collections
import glob
import gzip
import html
import math
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
UNIT = 16.0  # table values are sixteenths of a nat
FLOOR = 1e-6  # no pair is taken to be rarer than one in a million
SMOOTHING = 0.5

LOWER = 'абвгдежзийклмнопрстуфхцчшщъыьэюяё' + 'іїєґў'
UPPER = LOWER.upper()
BOUNDARY, LATIN, FIRST_LETTER = 0, 1, 2
RARE_LETTER, TYPOGRAPHY, BOX, SIGN, VOID = 40, 41, 42, 43, 44
SYMBOLS = 45
NO_CASE, LOWER_CASE, UPPER_CASE = 0, 1, 2
TYPOGRAPHIC = set('«»„“”‘’‚‹›–—…•№')

# Probability that a letter is a capital, by what precedes it. Set by hand
# rather than counted: the training texts are mixed-case prose, while BK
# texts and notices are often all capitals, and the model must not hold that
# against them. It only says that a word keeps its case: a capital after a
# small letter, or a small letter after two capitals, is rare; after a
# boundary or a word's first capital either case is as likely.
CASE_MODEL = [  # (state, P(capital))
    ('after a non-letter', 0.5),
    ('after a small letter', 0.03),
    ('after a word-initial capital', 0.5),
    ('after two or more capitals', 0.95),
]
BOX_REPEAT = 0.5   # a box drawing character repeats the previous one
NBSP_SHARE = 1.0 / 64  # a no-break space among the boundaries

# The BK's KOI-8 letters 0xC0..0xFF; 0x80..0xBF are read as KOI8-R, whose
# box drawing the BK's pseudo-graphics resemble and whose ё (0xA3, 0xB3)
# real KOI8-R texts use.
BK_LETTERS = 'юабцдефгхийклмнопярстужвьызшэщчъ'


def classify(ch):
    o = ord(ch)
    if o < 0x80:
        return (LATIN if ch.isalpha() else BOUNDARY), NO_CASE
    i = LOWER.find(ch)
    if i >= 0:
        return FIRST_LETTER + i, LOWER_CASE
    i = UPPER.find(ch)
    if i >= 0:
        return FIRST_LETTER + i, UPPER_CASE
    if o == 0xFFFD:
        return VOID, NO_CASE
    if 0x400 <= o < 0x530:
        return RARE_LETTER, NO_CASE
    if ch in TYPOGRAPHIC:
        return TYPOGRAPHY, NO_CASE
    if 0x2500 <= o <= 0x25A0:
        return BOX, NO_CASE
    if ch.isalpha():
        return LATIN, NO_CASE
    if ch.isspace():
        return BOUNDARY, NO_CASE
    return SIGN, NO_CASE


def code_page(name):
    """The character of each byte 0x80..0xFF, as the detection sees it."""
    chars = []
    for b in range(0x80, 0x100):
        if name == 'koi8':
            ch = bytes([b]).decode('koi8_r') if b < 0xC0 else (
                BK_LETTERS + BK_LETTERS.upper())[b - 0xC0]
        else:
            try:
                ch = bytes([b]).decode(name)
            except UnicodeDecodeError:
                ch = '\ufffd'
        chars.append(ch)
    return chars


PAGES = [('Oem866', 'cp866'), ('Win1251', 'cp1251'), ('Koi8r', 'koi8')]


# --- training texts ---------------------------------------------------------

def strip_roff(text):
    lines = []
    for line in text.split('\n'):
        if line.startswith(('.\\"', "'\\\"")):
            continue
        if line.startswith(('.', "'")):
            parts = line.split(None, 1)
            line = parts[1].replace('"', '') if len(parts) > 1 else ''
        line = re.sub(r'\\f(\[[^\]]*\]|\(..|.)', '', line)
        line = re.sub(r'\\\(..|\\\[[^\]]*\]', ' ', line)
        line = re.sub(r'\\\*(\(..|\[[^\]]*\]|.)', '', line)
        line = line.replace('\\-', '-')
        line = re.sub(r'\\.', ' ', line)
        lines.append(line)
    return '\n'.join(lines)


def training_texts():
    texts = []
    for lang in ('ru', 'uk'):
        pages = sorted(glob.glob('/usr/share/man/%s/man*/*.gz' % lang))
        if not pages:
            sys.exit('no man pages in /usr/share/man/%s: install manpages-%s' % (lang, lang))
        for path in pages:
            texts.append(strip_roff(gzip.open(path).read().decode('utf-8', 'replace')))
    for path in ['/usr/share/doc/debian/FAQ/debian-faq.ru.txt.gz',
                 '/usr/share/doc/maint-guide-ru/maint-guide.ru.txt.gz']:
        if not os.path.exists(path):
            sys.exit('missing %s: see SOURCES.md' % path)
        texts.append(gzip.open(path).read().decode('utf-8', 'replace'))
    rst = sorted(glob.glob('/usr/share/developers-reference/ru/_sources/*.rst.txt'))
    if not rst:
        sys.exit('missing developers-reference-ru: see SOURCES.md')
    for path in rst:
        texts.append(open(path, encoding='utf-8').read())
    texts.append(open(os.path.join(HERE, 'box_drawing_sample.txt'), encoding='utf-8').read())
    return texts


# --- the tables ---------------------------------------------------------------

def cost(p):
    return min(255, int(round(-math.log(max(p, FLOOR)) * UNIT)))


def main():
    pairs = [[0] * SYMBOLS for _ in range(SYMBOLS)]
    signs = collections.Counter()
    letters = 0
    for text in training_texts():
        previous = BOUNDARY
        for ch in text:
            symbol, _ = classify(ch)
            pairs[previous][symbol] += 1
            if symbol in (TYPOGRAPHY, SIGN, RARE_LETTER):
                signs[ch] += 1
            if FIRST_LETTER <= symbol < RARE_LETTER:
                letters += 1
            previous = symbol

    pair_cost = []
    for row in pairs:
        total = sum(row) + SMOOTHING * SYMBOLS
        pair_cost.append([cost((n + SMOOTHING) / total) for n in row])

    members = collections.defaultdict(set)
    for _, page in PAGES:
        for ch in code_page(page):
            members[classify(ch)[0]].add(ch)
    box_cost = cost((1 - BOX_REPEAT) / len(members[BOX]))

    def char_cost(ch, symbol):
        if symbol in (TYPOGRAPHY, SIGN, RARE_LETTER):
            group = members[symbol]
            total = sum(signs[c] for c in group) + SMOOTHING * len(group)
            return cost((signs[ch] + SMOOTHING) / total)
        if symbol == BOX:
            return box_cost
        if symbol == BOUNDARY:
            return cost(NBSP_SHARE)
        return 0

    out = []
    w = out.append
    w('// Generated by morva/files/gen/make_detection_tables.py from the texts listed in')
    w('// morva/files/gen/SOURCES.md (%d Cyrillic letters). Do not edit: change the' % letters)
    w('// script and run it again.')
    w('#include "files/detection_tables.h"')
    w('')
    w('// clang-format off')
    w('const uint8_t PairCost[kSymbolCount][kSymbolCount] = {')
    names = (['boundary', 'Latin'] + list(LOWER) +
             ['rare letter', 'typography', 'box drawing', 'sign', 'void'])
    for a, row in enumerate(pair_cost):
        w('    {' + ','.join('%3d' % c for c in row) + '},  // after %s' % names[a])
    w('};')
    w('')
    w('const ByteClass CodePageBytes[3][128] = {')
    for name, page in PAGES:
        w('    {  // %s' % name)
        chars = code_page(page)
        for base in range(0, 128, 8):
            cells = []
            for ch in chars[base:base + 8]:
                symbol, case = classify(ch)
                if ord(ch) >= 0x80 and symbol == LATIN:
                    symbol = SIGN
                cells.append('{%2d,%d,%3d}' % (symbol, case, char_cost(ch, symbol)))
            w('        ' + ', '.join(cells) + ',  // 0x%02X' % (0x80 + base))
        w('    },')
    w('};')
    w('')
    w('const uint8_t CaseCost[kCaseStates][2] = {  // {small letter, capital}')
    for state, capital in CASE_MODEL:
        w('    {%3d, %3d},  // %s' % (cost(1 - capital), cost(capital), state))
    w('};')
    w('// clang-format on')
    w('')
    w('const uint8_t BoxRepeatCost = %d;' % cost(BOX_REPEAT))
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
