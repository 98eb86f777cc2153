#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Bodies are decoded here rather than inside libcurl, so that a compressed
// stream that stops before its end fails the page instead of passing as a
// whole one, and so that a paused transfer holds raw bytes only.
namespace verdigo {

// The request header that offers every coding BodyDecoder reads.
std::string_view AcceptEncodingHeader();

// Decodes one body as it arrives, for the Content-Encoding it came with
// (several codings, "gzip, br", are undone in reverse order). The decoded
// bytes go to `output` in pieces; more than `maxDecodedBytes` of them fail
// the body, however small it was on the wire. Not thread-safe.
class BodyDecoder {
 public:
  enum class Status {
    kGoing,        // no fault so far
    kUnsupported,  // a coding the program does not read
    kDamaged,      // a stream that is not valid, or bytes after its end
    kCutShort,     // the body ended inside a stream
    kTooLarge,     // the decoded body passed maxDecodedBytes
    kRefused,      // `output` returned false
    kNoMemory,     // a decompressor could not be made
  };
  // Takes the next decoded piece; false stops the body.
  using Output = std::function<bool(std::string_view)>;

  BodyDecoder(std::string_view contentEncoding, std::uint64_t maxDecodedBytes, Output output);
  ~BodyDecoder();
  BodyDecoder(const BodyDecoder&) = delete;
  BodyDecoder& operator=(const BodyDecoder&) = delete;

  // Decodes the next bytes as received; false once the body has failed.
  bool Feed(std::string_view raw);
  // The body has ended: false when it failed or a stream did not end with it.
  bool Finish();

  Status status() const { return status_; }
  // The program's words for a failed status other than kTooLarge and
  // kRefused, whose words belong to the caller; "" while going.
  std::string Reason() const;
  std::uint64_t decodedBytes() const { return decoded_; }

  // One coding's decompressor.
  class Stage;

 private:
  Status Pass(size_t stage, std::string_view bytes);
  Status Deliver(std::string_view bytes);

  std::string encoding_;
  std::uint64_t maxDecodedBytes_;
  Output output_;
  std::vector<std::unique_ptr<Stage>> stages_;  // in the order they undo the codings
  std::vector<std::uint64_t> stageOutput_;      // bytes each stage has given
  std::uint64_t decoded_ = 0;
  Status status_ = Status::kGoing;
};

}  // namespace verdigo
