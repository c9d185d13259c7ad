// A rapidjson input stream over a protobuf ZeroCopyInputStream, so that JSON
// is parsed straight from the stream's buffers.
#ifndef PROTOBUF_JSON_ZERO_COPY_STREAM_READER_H_
#define PROTOBUF_JSON_ZERO_COPY_STREAM_READER_H_

#include <cassert>
#include <cstddef>

#include <google/protobuf/io/zero_copy_stream.h>

namespace protobuf_json {

class ZeroCopyStreamReader {
 public:
  typedef char Ch;

  explicit ZeroCopyStreamReader(google::protobuf::io::ZeroCopyInputStream* stream)
      : _data(nullptr), _data_size(0), _nread(0), _stream(stream) {}

  // The current character, or NUL at the end of the stream.
  Ch Peek() {
    if (!Refill()) return '\0';
    return *_data;
  }

  // The current character, consumed; NUL (consuming nothing) at the end.
  Ch Take() {
    if (!Refill()) return '\0';
    ++_nread;
    --_data_size;
    return *_data++;
  }

  size_t Tell() const { return _nread; }

  // Writing is for in-place parsing only, which this stream does not offer.
  Ch* PutBegin() { assert(false); return nullptr; }
  void Put(Ch) { assert(false); }
  void Flush() { assert(false); }
  size_t PutEnd(Ch*) { assert(false); return 0; }

 private:
  // Asks the stream for buffers until one is non-empty (a stream may hand
  // back empty ones); false at the end of the stream.
  bool Refill() {
    while (_data_size == 0) {
      const void* data = nullptr;
      int size = 0;
      if (_stream == nullptr || !_stream->Next(&data, &size)) {
        _data_size = 0;
        return false;
      }
      _data = static_cast<const char*>(data);
      _data_size = size > 0 ? size : 0;
    }
    return true;
  }

  const char* _data;
  int _data_size;
  size_t _nread;
  google::protobuf::io::ZeroCopyInputStream* _stream;
};

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_ZERO_COPY_STREAM_READER_H_
