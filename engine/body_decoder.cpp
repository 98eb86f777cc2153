#include "engine/body_decoder.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <new>

#include "common/ascii_case.h"
#include "engine/response_head.h"

namespace verdigo {

namespace {

using Status = BodyDecoder::Status;
using Emit = std::function<Status(std::string_view)>;

// Each stage decodes into a buffer this large and passes it on.
constexpr size_t kStageOutputBytes = 64 * 1024;
// More codings on one body than anyone sends; each costs a decompressor.
constexpr size_t kMostCodings = 3;
// The largest zstd window the decoder allocates: what HTTP asks of senders.
constexpr int kZstdWindowLogMax = 23;

// The codings of a Content-Encoding value in the order they were applied,
// "identity" and empty items left out.
std::vector<std::string> ListCodings(std::string_view value) {
  std::vector<std::string> codings;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    const std::string_view item = TrimHeaderBlanks(value.substr(0, comma));
    if (!item.empty() && !EqualsIgnoringAsciiCase(item, "identity")) codings.emplace_back(item);
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return codings;
}

}  // namespace

class BodyDecoder::Stage {
 public:
  virtual ~Stage() = default;
  // Decodes all of `in`, passing what it gives to `emit`.
  virtual Status Decode(std::string_view in, const Emit& emit) = 0;
  // Whether the stream has ended where its input did (no input at all, an
  // empty body, counts as ended).
  virtual bool Ended() const = 0;

 protected:
  std::array<char, kStageOutputBytes> out_;
};

namespace {

// gzip (several members one after another, as the format allows) and
// deflate, zlib-wrapped or raw as browsers accept it.
class ZlibStage : public BodyDecoder::Stage {
 public:
  enum class Format { kGzip, kDeflate };
  explicit ZlibStage(Format format) : format_(format) {}
  ~ZlibStage() override {
    if (initialized_) inflateEnd(&stream_);
  }

  Status Decode(std::string_view in, const Emit& emit) override {
    if (!initialized_) {
      // Raw or zlib-wrapped deflate shows in the first two bytes.
      const size_t wanted = std::min(in.size(), 2 - head_.size());
      head_.append(in.substr(0, wanted));
      in.remove_prefix(wanted);
      if (head_.size() < 2 && format_ == Format::kDeflate) return Status::kGoing;
      if (head_.empty()) return Status::kGoing;
      if (inflateInit2(&stream_, WindowBits()) != Z_OK) return Status::kNoMemory;
      initialized_ = true;
      if (const Status status = Inflate(head_, emit); status != Status::kGoing) return status;
    }
    return Inflate(in, emit);
  }

  bool Ended() const override { return ended_ || (!initialized_ && head_.empty()); }

 private:
  int WindowBits() const {
    if (format_ == Format::kGzip) return 15 + 32;  // gzip, or zlib where a server mislabels it
    const auto cmf = static_cast<unsigned char>(head_[0]);
    const auto flg = static_cast<unsigned char>(head_[1]);
    const bool zlibHeader =
        (cmf & 0x0F) == Z_DEFLATED && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
    return zlibHeader ? 15 : -15;
  }

  Status Inflate(std::string_view in, const Emit& emit) {
    while (!in.empty()) {
      if (ended_) {
        // Only another gzip member may follow a stream's end.
        if (format_ != Format::kGzip || inflateReset(&stream_) != Z_OK) return Status::kDamaged;
        ended_ = false;
      }
      const auto piece = static_cast<uInt>(std::min<size_t>(in.size(), UINT_MAX));
      stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
      stream_.avail_in = piece;
      do {
        stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
        stream_.avail_out = static_cast<uInt>(out_.size());
        const int result = inflate(&stream_, Z_NO_FLUSH);
        // What came before a fault is passed on first, so that the fault met
        // first in the body is the one reported, wherever the pieces end.
        const size_t produced = out_.size() - stream_.avail_out;
        if (produced != 0) {
          if (const Status status = emit({out_.data(), produced}); status != Status::kGoing) {
            return status;
          }
        }
        if (result == Z_STREAM_END) ended_ = true;
        if (result == Z_MEM_ERROR) return Status::kNoMemory;
        if (result == Z_DATA_ERROR || result == Z_NEED_DICT || result == Z_STREAM_ERROR) {
          return Status::kDamaged;
        }
      } while (stream_.avail_out == 0 && !ended_);
      in.remove_prefix(piece - stream_.avail_in);
    }
    return Status::kGoing;
  }

  Format format_;
  z_stream stream_{};
  bool initialized_ = false;
  bool ended_ = false;
  std::string head_;  // the first bytes, until the format is known
};

class BrotliStage : public BodyDecoder::Stage {
 public:
  BrotliStage() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
  ~BrotliStage() override {
    if (state_ != nullptr) BrotliDecoderDestroyInstance(state_);
  }

  Status Decode(std::string_view in, const Emit& emit) override {
    if (state_ == nullptr) return Status::kNoMemory;
    if (in.empty()) return Status::kGoing;
    if (ended_) return Status::kDamaged;
    started_ = true;
    size_t availableIn = in.size();
    auto nextIn = reinterpret_cast<const uint8_t*>(in.data());
    for (;;) {
      size_t availableOut = out_.size();
      auto nextOut = reinterpret_cast<uint8_t*>(out_.data());
      const BrotliDecoderResult result = BrotliDecoderDecompressStream(
          state_, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
      const size_t produced = out_.size() - availableOut;
      if (produced != 0) {
        if (const Status status = emit({out_.data(), produced}); status != Status::kGoing) {
          return status;
        }
      }
      if (result == BROTLI_DECODER_RESULT_ERROR) return Status::kDamaged;
      if (result == BROTLI_DECODER_RESULT_SUCCESS) {
        ended_ = true;
        return availableIn == 0 ? Status::kGoing : Status::kDamaged;
      }
      if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) return Status::kGoing;
    }
  }

  bool Ended() const override { return ended_ || !started_; }

 private:
  BrotliDecoderState* state_;
  bool started_ = false;
  bool ended_ = false;
};

// zstd: one or more frames; anything after a frame must be another. Only
// the frames of the standard format (and skippable ones) are read, not the
// library's pre-standard formats.
class ZstdStage : public BodyDecoder::Stage {
 public:
  ZstdStage() : stream_(ZSTD_createDStream()) {
    if (stream_ != nullptr) ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, kZstdWindowLogMax);
  }
  ~ZstdStage() override { ZSTD_freeDStream(stream_); }

  Status Decode(std::string_view in, const Emit& emit) override {
    if (stream_ == nullptr) return Status::kNoMemory;
    while (!in.empty()) {
      if (magic_.size() < kMagicBytes) {
        const size_t wanted = std::min(in.size(), kMagicBytes - magic_.size());
        magic_.append(in.substr(0, wanted));
        in.remove_prefix(wanted);
        if (magic_.size() < kMagicBytes) return Status::kGoing;
        if (!IsFrameMagic(magic_)) return Status::kDamaged;
        std::string_view magic = magic_;  // a frame is longer than its magic number
        if (const Status status = DecodeFrame(magic, emit); status != Status::kGoing) {
          return status;
        }
      }
      if (const Status status = DecodeFrame(in, emit); status != Status::kGoing) return status;
    }
    return Status::kGoing;
  }

  // Between frames, or before any.
  bool Ended() const override { return magic_.empty(); }

 private:
  static constexpr size_t kMagicBytes = 4;

  static bool IsFrameMagic(std::string_view bytes) {
    std::uint32_t magic = 0;
    for (size_t i = kMagicBytes; i-- > 0;)
      magic = magic << 8 | static_cast<unsigned char>(bytes[i]);
    return magic == ZSTD_MAGICNUMBER ||
           (magic & ZSTD_MAGIC_SKIPPABLE_MASK) == ZSTD_MAGIC_SKIPPABLE_START;
  }

  // Decodes from `in` up to the end of the current frame, removing what it
  // used. A full buffer may leave decoded bytes inside the decoder: it goes
  // on until the input is used and the buffer is not filled.
  Status DecodeFrame(std::string_view& in, const Emit& emit) {
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    for (;;) {
      ZSTD_outBuffer output{out_.data(), out_.size(), 0};
      const size_t result = ZSTD_decompressStream(stream_, &output, &input);
      if (output.pos != 0) {
        if (const Status status = emit({out_.data(), output.pos}); status != Status::kGoing) {
          return status;
        }
      }
      if (ZSTD_isError(result)) return Status::kDamaged;
      if (result == 0) {
        magic_.clear();  // the next bytes start a frame
        break;
      }
      if (input.pos == input.size && output.pos < output.size) break;
    }
    in.remove_prefix(input.pos);
    return Status::kGoing;
  }

  ZSTD_DStream* stream_;
  std::string magic_;  // the current frame's first bytes
};

std::unique_ptr<BodyDecoder::Stage> MakeStage(std::string_view coding) {
  if (EqualsIgnoringAsciiCase(coding, "gzip") || EqualsIgnoringAsciiCase(coding, "x-gzip")) {
    return std::make_unique<ZlibStage>(ZlibStage::Format::kGzip);
  }
  if (EqualsIgnoringAsciiCase(coding, "deflate")) {
    return std::make_unique<ZlibStage>(ZlibStage::Format::kDeflate);
  }
  if (EqualsIgnoringAsciiCase(coding, "br")) return std::make_unique<BrotliStage>();
  if (EqualsIgnoringAsciiCase(coding, "zstd")) return std::make_unique<ZstdStage>();
  return nullptr;
}

}  // namespace

std::string_view AcceptEncodingHeader() { return "Accept-Encoding: gzip, deflate, br, zstd"; }

BodyDecoder::BodyDecoder(std::string_view contentEncoding, std::uint64_t maxDecodedBytes,
                         Output output)
    : encoding_(contentEncoding), maxDecodedBytes_(maxDecodedBytes), output_(std::move(output)) {
  std::vector<std::string> codings = ListCodings(contentEncoding);
  if (codings.size() > kMostCodings) {
    status_ = Status::kUnsupported;
    return;
  }
  // The coding applied last is undone first.
  for (auto coding = codings.rbegin(); coding != codings.rend(); ++coding) {
    std::unique_ptr<Stage> stage = MakeStage(*coding);
    if (!stage) {
      status_ = Status::kUnsupported;
      return;
    }
    stages_.push_back(std::move(stage));
  }
  stageOutput_.assign(stages_.size(), 0);
}

BodyDecoder::~BodyDecoder() = default;

bool BodyDecoder::Feed(std::string_view raw) {
  if (status_ != Status::kGoing || raw.empty()) return status_ == Status::kGoing;
  try {
    status_ = Pass(0, raw);
  } catch (const std::bad_alloc&) {
    status_ = Status::kNoMemory;
  }
  return status_ == Status::kGoing;
}

bool BodyDecoder::Finish() {
  if (status_ != Status::kGoing) return false;
  for (const auto& stage : stages_) {
    if (!stage->Ended()) status_ = Status::kCutShort;
  }
  return status_ == Status::kGoing;
}

std::string BodyDecoder::Reason() const {
  switch (status_) {
    case Status::kUnsupported: {
      // A server may send a header line of any length; the message stays short.
      constexpr size_t kLongestShown = 60;
      const bool cut = encoding_.size() > kLongestShown;
      return "content encoding \"" + encoding_.substr(0, kLongestShown) + (cut ? "..." : "") +
             "\" not supported";
    }
    case Status::kDamaged:
      return "compressed body damaged";
    case Status::kCutShort:
      return "compressed body cut short";
    case Status::kNoMemory:
      return "out of memory for decoding the compressed body";
    case Status::kGoing:
    case Status::kTooLarge:
    case Status::kRefused:
      break;
  }
  return {};
}

// Bytes given by stage `stage - 1` (or received, for stage 0) go through the
// stages from `stage` on.
BodyDecoder::Status BodyDecoder::Pass(size_t stage, std::string_view bytes) {
  if (stage == stages_.size()) return Deliver(bytes);
  if (stage > 0) {
    // A stream held in by an outer one is bounded too (at twice the cap: a
    // compressed stream is rarely larger than what it decodes to), so that
    // one that gives nothing, all skippable frames, cannot run for ever.
    const std::uint64_t innerLimit =
        maxDecodedBytes_ > UINT64_MAX / 4 ? UINT64_MAX : 2 * maxDecodedBytes_ + kStageOutputBytes;
    if (bytes.size() > innerLimit - stageOutput_[stage - 1]) return Status::kTooLarge;
    stageOutput_[stage - 1] += bytes.size();
  }
  return stages_[stage]->Decode(
      bytes, [this, stage](std::string_view out) { return Pass(stage + 1, out); });
}

BodyDecoder::Status BodyDecoder::Deliver(std::string_view bytes) {
  if (bytes.size() > maxDecodedBytes_ - decoded_) return Status::kTooLarge;
  decoded_ += bytes.size();
  return output_(bytes) ? Status::kGoing : Status::kRefused;
}

}  // namespace verdigo
