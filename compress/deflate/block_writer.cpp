// Writes one deflate block as stored, fixed-code or dynamic-code, whichever
// the running costs favour.
//
// The costs compared are those of all deflate blocks of the current call so
// far, the pending one included: D (dynamic codes with their tree
// description) and S (fixed codes). Rounded to bytes with the 3 header bits,
// the smaller wins, fixed on a tie; a stored block is taken when its bytes
// plus the 4 length bytes do not exceed that. Code lengths are sent
// run-length coded, the literal/length and the distance lengths as two
// separate sequences.
#include "compress/deflate/block_writer.h"


#include "cabinet/tp_assert.h"
#include "compress/deflate/bit_writer.h"
#include "compress/deflate/code_tables.h"
#include "compress/deflate/huffman_builder.h"
#include "compress/deflate/tally.h"

namespace treepak {

namespace blockdeflate {

namespace {

// Runs of code lengths: a fresh non-zero run sends its value once and then
// repeats of 3..6; a run continuing a run of the same value cut just before
// is all repeats; zeros go in runs of up to 138.
constexpr uint32_t kFreshRunMax = 1 + kRepeatPreviousMax;
constexpr uint32_t kFreshRunMin = 1 + kRepeatPreviousMin;
constexpr uint32_t kContinuedRunMax = kRepeatPreviousMax;
constexpr uint32_t kContinuedRunMin = kRepeatPreviousMin;
constexpr uint32_t kZeroRunMax = kRepeatZeroLongMax;
constexpr uint32_t kZeroRunMin = kRepeatZeroShortMin;
constexpr int kNoLength = -1;

// Calls emit(symbol, extraValue) for each code-length symbol that codes
// lens[0..maxCode]; the repeat symbols carry their count in extraValue.
template <typename Emit>
void ForEachCodeLengthSymbol(const uint16_t* lens, int maxCode, Emit&& emit) {
    int prevLen = kNoLength;
    int nextLen = lens[0];
    uint32_t count = 0;
    uint32_t maxCount = nextLen == 0 ? kZeroRunMax : kFreshRunMax;
    uint32_t minCount = nextLen == 0 ? kZeroRunMin : kFreshRunMin;

    for (int n = 0; n <= maxCode; ++n) {
        int curLen = nextLen;
        nextLen = n < maxCode ? lens[n + 1] : kNoLength;
        if (++count < maxCount && curLen == nextLen) continue;

        if (count < minCount) {
            for (uint32_t i = 0; i < count; ++i) emit(static_cast<uint32_t>(curLen), 0u);
        } else if (curLen != 0) {
            if (curLen != prevLen) {
                emit(static_cast<uint32_t>(curLen), 0u);
                --count;
            }
            TP_ASSERT(count >= kRepeatPreviousMin && count <= kRepeatPreviousMax);
            emit(kRepeatPrevious, count - kRepeatPreviousMin);
        } else if (count <= kRepeatZeroShortMax) {
            emit(kRepeatZeroShort, count - kRepeatZeroShortMin);
        } else {
            emit(kRepeatZeroLong, count - kRepeatZeroLongMin);
        }

        count = 0;
        prevLen = curLen;
        if (nextLen == 0) {
            maxCount = kZeroRunMax;
            minCount = kZeroRunMin;
        } else if (curLen == nextLen) {
            maxCount = kContinuedRunMax;
            minCount = kContinuedRunMin;
        } else {
            maxCount = kFreshRunMax;
            minCount = kFreshRunMin;
        }
    }
}

// Builds the code-length code from both sequences; returns the index, in
// the RFC 1951 sending order, of the last code-length code to send.
uint32_t BuildCodeLengthCode(DeflateState& s) {
    auto count = [&s](uint32_t symbol, uint32_t) { ++s.codeLenTree.freq[symbol]; };
    ForEachCodeLengthSymbol(s.litLenTree.len, s.litLenTree.maxCode, count);
    ForEachCodeLengthSymbol(s.distTree.len, s.distTree.maxCode, count);

    const AlphabetInfo codeLenAlphabet = {kCodeLenCodes, DEFLATE_MAX_CODELEN_BITS, kCodeLenExtraBits, 0,
                                          nullptr};
    BuildHuffmanTree(s, s.codeLenTree, codeLenAlphabet);

    uint32_t last = kCodeLenCodes - 1;
    while (last >= kMinCodeLenCodesSent && s.codeLenTree.len[kDeflateCodeLengthOrder[last]] == 0) --last;
    s.dynamicCost += kLitLenCountBits + kDistCountBits + kCodeLenCountBits +
                     static_cast<int64_t>(kCodeLenLengthBits) * (last + 1);
    return last;
}

void SendBlockHeader(BitWriter& w, uint32_t type, bool final) {
    SendBits(w, (type << 1) | (final ? 1u : 0u), kBlockHeaderBits);
}

void WriteStoredBlock(DeflateState& s, const uint8_t* window, uint32_t storedLength, bool final) {
    BitWriter& w = s.writer;
    SendBlockHeader(w, DEFLATE_BLOCK_STORED, final);
    AlignToByte(w);
    uint16_t len = static_cast<uint16_t>(storedLength);
    uint16_t nlen = static_cast<uint16_t>(~len);
    PutByte(w, static_cast<uint8_t>(len));
    PutByte(w, static_cast<uint8_t>(len >> 8));
    PutByte(w, static_cast<uint8_t>(nlen));
    PutByte(w, static_cast<uint8_t>(nlen >> 8));
    PutBytes(w, window + s.blockStart, storedLength);
}

// Sends every tally of the block and the end-of-block code.
void SendTallies(DeflateState& s, const uint16_t* litCode, const uint16_t* litLen, const uint16_t* distCode,
                 const uint16_t* distLen) {
    BitWriter& w = s.writer;
    uint32_t distanceIndex = 0;
    for (uint32_t t = 0; t < s.tallyCount; ++t) {
        uint32_t value = s.literalBuffer[t];
        if ((s.matchFlags[t >> 3] & (1u << (t & 7))) == 0) {
            SendBits(w, litCode[value], litLen[value]);
            continue;
        }
        uint32_t code = LengthCodeOf(s.fixed, value);
        uint32_t symbol = kLiterals + 1 + code;
        SendBits(w, litCode[symbol], litLen[symbol]);
        if (uint32_t extra = kDeflateLengthExtra[code]; extra != 0) {
            SendBits(w, value - (kDeflateLengthBase[code] - DEFLATE_MIN_MATCH), extra);
        }
        uint32_t distance = s.distanceBuffer[distanceIndex++];
        uint32_t dcode = DistCodeOf(s.fixed, distance);
        SendBits(w, distCode[dcode], distLen[dcode]);
        if (uint32_t extra = kDeflateDistExtra[dcode]; extra != 0) {
            SendBits(w, distance - (kDeflateDistBase[dcode] - 1), extra);
        }
    }
    TP_ASSERT(distanceIndex == s.distanceCount);
    SendBits(w, litCode[DEFLATE_END_OF_BLOCK], litLen[DEFLATE_END_OF_BLOCK]);
}

void WriteFixedBlock(DeflateState& s, bool final) {
    SendBlockHeader(s.writer, DEFLATE_BLOCK_FIXED, final);
    SendTallies(s, s.fixed.litLenCode, s.fixed.litLenLen, s.fixed.distCode, s.fixed.distLen);
}

void SendCodeLengths(DeflateState& s, const HuffmanTree& tree) {
    BitWriter& w = s.writer;
    const HuffmanTree& codeLen = s.codeLenTree;
    ForEachCodeLengthSymbol(tree.len, tree.maxCode, [&](uint32_t symbol, uint32_t extraValue) {
        SendBits(w, codeLen.code[symbol], codeLen.len[symbol]);
        if (uint32_t extraBits = kCodeLenExtraBits[symbol]; extraBits != 0) SendBits(w, extraValue, extraBits);
    });
}

void WriteDynamicBlock(DeflateState& s, uint32_t lastCodeLenIndex, bool final) {
    BitWriter& w = s.writer;
    uint32_t litLenCount = static_cast<uint32_t>(s.litLenTree.maxCode) + 1;
    uint32_t distCount = static_cast<uint32_t>(s.distTree.maxCode) + 1;
    uint32_t codeLenCount = lastCodeLenIndex + 1;
    SendBlockHeader(w, DEFLATE_BLOCK_DYNAMIC, final);
    SendBits(w, litLenCount - kLitLenCountBase, kLitLenCountBits);
    SendBits(w, distCount - 1, kDistCountBits);
    SendBits(w, codeLenCount - kMinCodeLenCodesSent, kCodeLenCountBits);
    for (uint32_t rank = 0; rank < codeLenCount; ++rank) {
        SendBits(w, s.codeLenTree.len[kDeflateCodeLengthOrder[rank]], kCodeLenLengthBits);
    }
    SendCodeLengths(s, s.litLenTree);
    SendCodeLengths(s, s.distTree);
    SendTallies(s, s.litLenTree.code, s.litLenTree.len, s.distTree.code, s.distTree.len);
}

}  // namespace

void EndDeflateBlock(DeflateState& s, const uint8_t* window, bool final) {
    const AlphabetInfo litLenAlphabet = {kLitLenCodes, DEFLATE_MAX_CODE_BITS, kDeflateLengthExtra, kLiterals + 1,
                                         s.fixed.litLenLen};
    const AlphabetInfo distAlphabet = {kDistCodes, DEFLATE_MAX_CODE_BITS, kDeflateDistExtra, 0, s.fixed.distLen};
    BuildHuffmanTree(s, s.litLenTree, litLenAlphabet);
    BuildHuffmanTree(s, s.distTree, distAlphabet);
    uint32_t lastCodeLenIndex = BuildCodeLengthCode(s);

    TP_ASSERT(s.dynamicCost >= 0 && s.fixedCost >= 0);
    int64_t dynamicBytes = (s.dynamicCost + kCostRoundingBits) / 8;
    int64_t fixedBytes = (s.fixedCost + kCostRoundingBits) / 8;
    int64_t best = fixedBytes <= dynamicBytes ? fixedBytes : dynamicBytes;
    uint32_t storedLength = s.position - s.blockStart;
    TP_ASSERT(storedLength <= CAB_BLOCK_SIZE);

    if (static_cast<int64_t>(storedLength) + kStoredLengthBytes <= best) {
        WriteStoredBlock(s, window, storedLength, final);
    } else if (fixedBytes == best) {
        WriteFixedBlock(s, final);
    } else {
        WriteDynamicBlock(s, lastCodeLenIndex, final);
    }

    ResetBlockTallies(s);
    if (final) AlignToByte(s.writer);
}

}  // namespace blockdeflate

}  // namespace treepak
