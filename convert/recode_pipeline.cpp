#include "convert/recode_pipeline.h"

#include <cstring>

namespace mq {

namespace {

CodeKind knownCode(RecodeTarget target) {
  return target == RecodeTarget::Euc ? CodeKind::Euc : target == RecodeTarget::Jis ? CodeKind::Jis : CodeKind::Sjis;
}

// The known code of a source decided as one, for the known conversion.
CodeKind knownSource(WholeCode code) {
  return code == WholeCode::Euc ? CodeKind::Euc : code == WholeCode::SevenBit ? CodeKind::Jis : CodeKind::Sjis;
}

void addKnown(RecodePipeline* p, CodeKind from, CodeKind to) {
  RecodeStep& step = p->steps[p->stepCount++];
  step.kind = from == to ? RecodeStepKind::Copy : RecodeStepKind::Known;
  startKnownConversion(&step.known, from, to);
}

void addMixture(RecodePipeline* p, CodeKind to) {
  RecodeStep& step = p->steps[p->stepCount++];
  step.kind = RecodeStepKind::Mixture;
  startConversion(&step.mixture, to);
}

int addDecode(RecodePipeline* p, SourceCode code, const char* label) {
  RecodeStep& step = p->steps[p->stepCount++];
  step.kind = RecodeStepKind::Decode;
  return openDecoder(&step.decoder, code, label, false);
}

int addEncode(RecodePipeline* p) {
  RecodeStep& step = p->steps[p->stepCount++];
  step.kind = RecodeStepKind::EncodeCp932;
  return openEncoder(&step.encoder);
}

// The ways into UTF-8: a Unicode source is decoded; a known code is decoded as the code page
// reads it (EUC as itself, so that its characters beyond the code page survive).
int planUtf8(RecodePipeline* p, const CodeDecision& source) {
  switch (source.code) {
    case WholeCode::Unicode:
      return addDecode(p, source.source.code, source.source.label);
    case WholeCode::Sjis:
      return addDecode(p, SourceCode::Cp932, "");
    case WholeCode::Euc:
      return addDecode(p, SourceCode::EucJp, "");
    case WholeCode::SevenBit:
      addKnown(p, CodeKind::Jis, CodeKind::Sjis);
      return addDecode(p, SourceCode::Cp932, "");
    case WholeCode::Mixture:
      addMixture(p, CodeKind::Sjis);
      return addDecode(p, SourceCode::Cp932, "");
  }
  return -1;
}

constexpr int32_t kCompletingBytes = 8;  // enough to complete any sequence a piece cut

// Decodes a piece; a sequence that the piece's end cut is carried to the next piece.
int32_t decodeStep(RecodeStep& step, const unsigned char* in, int32_t length, bool last, unsigned char* out) {
  int32_t written = 0;
  int32_t at = 0;
  if (step.carriedLength > 0) {
    const int32_t extra = length < kCompletingBytes ? length : kCompletingBytes;
    unsigned char head[sizeof step.carried + kCompletingBytes];
    std::memcpy(head, step.carried, static_cast<std::size_t>(step.carriedLength));
    if (extra > 0) std::memcpy(head + step.carriedLength, in, static_cast<std::size_t>(extra));
    const bool headIsLast = last && extra == length;
    int32_t used = 0;
    written = decodePiece(&step.decoder, head, step.carriedLength + extra, headIsLast, out, kRecodeStepRoom, &used);
    if (used < step.carriedLength) {
      // Still cut: everything seen waits for more.
      std::memcpy(step.carried + step.carriedLength, in, static_cast<std::size_t>(extra));
      step.carriedLength += extra;
      return written;
    }
    at = used - step.carriedLength;
    step.carriedLength = 0;
  }
  while (at < length) {
    int32_t used = 0;
    written += decodePiece(&step.decoder, in + at, length - at, last, out + written, kRecodeStepRoom - written, &used);
    if (used == 0) break;
    at += used;
  }
  if (at < length) {
    // Decoding stops early only before a sequence that the piece's end cut; it waits whole.
    const int32_t rest = length - at;
    if (rest <= static_cast<int32_t>(sizeof step.carried)) {
      std::memcpy(step.carried, in + at, static_cast<std::size_t>(rest));
      step.carriedLength = rest;
    } else {
      // No sequence is this long: read as the end, whatever is not a character is marked.
      int32_t used = 0;
      written += decodePiece(&step.decoder, in + at, rest, true, out + written, kRecodeStepRoom - written, &used);
    }
  }
  return written;
}

// Runs one step over a piece; returns the bytes written.
int32_t runStep(RecodeStep& step, const unsigned char* in, int32_t length, bool last, unsigned char* out) {
  int32_t written = 0;
  switch (step.kind) {
    case RecodeStepKind::Copy:
      if (length > 0) std::memcpy(out, in, static_cast<std::size_t>(length));
      return length;
    case RecodeStepKind::Known:
      written = convertKnownPiece(&step.known, out, in, length);
      return last ? written + finishKnownConversion(&step.known, out + written) : written;
    case RecodeStepKind::Mixture:
      written = convertPiece(&step.mixture, out, in, length);
      return last ? written + finishConversion(&step.mixture, out + written) : written;
    case RecodeStepKind::Decode:
      return decodeStep(step, in, length, last, out);
    case RecodeStepKind::EncodeCp932:
      return encodeCp932(&step.encoder, in, length, out);
  }
  return 0;
}

}  // namespace

int openRecodePipeline(RecodePipeline* pipeline, const CodeDecision& source, RecodeTarget target) {
  *pipeline = RecodePipeline{};
  RecodePipeline* p = pipeline;
  if (target == RecodeTarget::Utf8) return planUtf8(p, source);
  const CodeKind to = knownCode(target);
  switch (source.code) {
    case WholeCode::Mixture:
      addMixture(p, to);
      return 0;
    case WholeCode::Unicode:
      if (addDecode(p, source.source.code, source.source.label) != 0 || addEncode(p) != 0) return -1;
      addKnown(p, CodeKind::Sjis, to);
      return 0;
    default:
      addKnown(p, knownSource(source.code), to);
      return 0;
  }
}

void closeRecodePipeline(RecodePipeline* pipeline) {
  for (int i = 0; i < pipeline->stepCount; ++i) {
    RecodeStep& step = pipeline->steps[i];
    if (step.kind == RecodeStepKind::Decode) closeDecoder(&step.decoder);
    if (step.kind == RecodeStepKind::EncodeCp932) closeEncoder(&step.encoder);
  }
  pipeline->stepCount = 0;
}

int32_t recodePiece(RecodePipeline* pipeline, const unsigned char* in, int32_t length, bool last,
                    unsigned char* between[2], unsigned char* out) {
  const unsigned char* from = in;
  int32_t fromLength = length;
  for (int i = 0; i < pipeline->stepCount; ++i) {
    // The last step writes to `out`; the others alternate between the two areas.
    unsigned char* to = i == pipeline->stepCount - 1 ? out : between[i % 2];
    fromLength = runStep(pipeline->steps[i], from, fromLength, last, to);
    from = to;
  }
  return fromLength;
}

int64_t recodeReplaced(const RecodePipeline& pipeline) {
  int64_t replaced = 0;
  for (int i = 0; i < pipeline.stepCount; ++i) {
    const RecodeStep& step = pipeline.steps[i];
    if (step.kind == RecodeStepKind::Known) replaced += step.known.replaced;
    if (step.kind == RecodeStepKind::EncodeCp932) replaced += step.encoder.replaced;
  }
  // U+FFFD written into UTF-8 output stays in it; before an encoding step the encoder counts it.
  const RecodeStep& lastStep = pipeline.steps[pipeline.stepCount > 0 ? pipeline.stepCount - 1 : 0];
  if (pipeline.stepCount > 0 && lastStep.kind == RecodeStepKind::Decode) replaced += lastStep.decoder.replaced;
  return replaced;
}

}  // namespace mq
