#include "picture/gzip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace lcdprog::picture {

std::optional<std::string> Gunzip(std::string_view bytes, std::size_t limit) {
    if (bytes.size() > std::numeric_limits<uInt>::max()) {
        return std::nullopt;
    }
    z_stream stream{};
    // 16 + the largest window: gzip framing only, so a bare zlib stream is refused.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    std::string out;
    int status = Z_OK;
    while (status == Z_OK) {
        const std::size_t done = out.size();
        const std::size_t chunk = std::min<std::size_t>(std::size_t{1} << 16, limit + 1 - done);
        out.resize(done + chunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        stream.avail_out = static_cast<uInt>(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(done + chunk - stream.avail_out);
        if (out.size() > limit) {
            status = Z_MEM_ERROR;
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

}  // namespace lcdprog::picture
