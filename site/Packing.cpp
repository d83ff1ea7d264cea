// gzip through zlib; Brotli and Zstandard through their libraries where the build has them.
#include "Packing.h"

#include <zlib.h>
#ifdef QUORVANE_HAVE_BROTLI
#include <brotli/decode.h>
#include <brotli/encode.h>
#endif
#ifdef QUORVANE_HAVE_ZSTD
#include <zstd.h>
#endif

#include "Ascii.h"

namespace site {

namespace {

const size_t kStep = 64 * 1024;

bool Gunzip(std::string_view packed, size_t limit, std::string* out, std::string* problem) {
    z_stream z{};
    // 16 + MAX_WBITS: a gzip header and trailer, whose checksum zlib checks.
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return *problem = "zlib could not start", false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (out->size() >= limit) {
            inflateEnd(&z);
            return *problem = "it unpacks to more than the limit of " + std::to_string(limit >> 20) + " MiB", false;
        }
        const size_t at = out->size();
        out->resize(at + kStep);
        z.next_out = reinterpret_cast<Bytef*>(&(*out)[at]);
        z.avail_out = static_cast<uInt>(kStep);
        status = inflate(&z, Z_NO_FLUSH);
        out->resize(at + kStep - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    const bool whole = status == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    if (!whole) *problem = "not whole gzip data";
    return whole;
}

bool Gzip(std::string_view bytes, std::string* out, std::string* problem) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        return *problem = "zlib could not start", false;
    }
    out->resize(deflateBound(&z, static_cast<uLong>(bytes.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
    z.avail_out = static_cast<uInt>(out->size());
    const int status = deflate(&z, Z_FINISH);
    out->resize(out->size() - z.avail_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) *problem = "zlib could not pack it";
    return status == Z_STREAM_END;
}

}  // namespace

Packing PackingOfFile(std::string_view name) {
    if (ascii::EndsWithNoCase(name, ".gz")) return Packing::kGzip;
    if (ascii::EndsWithNoCase(name, ".br")) return Packing::kBrotli;
    if (ascii::EndsWithNoCase(name, ".zst")) return Packing::kZstd;
    return Packing::kNone;
}

std::string_view UnpackedName(std::string_view name) {
    switch (PackingOfFile(name)) {
        case Packing::kGzip: case Packing::kBrotli: return name.substr(0, name.size() - 3);
        case Packing::kZstd: return name.substr(0, name.size() - 4);
        case Packing::kNone: break;
    }
    return name;
}

const char* PackingName(Packing packing) {
    switch (packing) {
        case Packing::kGzip: return "gzip";
        case Packing::kBrotli: return "Brotli";
        case Packing::kZstd: return "Zstandard";
        case Packing::kNone: break;
    }
    return "none";
}

bool CanUnpack(Packing packing) {
#ifdef QUORVANE_HAVE_BROTLI
    if (packing == Packing::kBrotli) return true;
#endif
#ifdef QUORVANE_HAVE_ZSTD
    if (packing == Packing::kZstd) return true;
#endif
    return packing == Packing::kGzip;
}

bool Unpack(Packing packing, std::string_view packed, size_t limit, std::string* out, std::string* problem) {
    out->clear();
    switch (packing) {
        case Packing::kGzip: return Gunzip(packed, limit, out, problem);
#ifdef QUORVANE_HAVE_BROTLI
        case Packing::kBrotli: {
            BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
            size_t inLeft = packed.size();
            const uint8_t* in = reinterpret_cast<const uint8_t*>(packed.data());
            BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
            while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT && out->size() < limit) {
                const size_t at = out->size();
                out->resize(at + kStep);
                size_t outLeft = kStep;
                uint8_t* next = reinterpret_cast<uint8_t*>(&(*out)[at]);
                result = BrotliDecoderDecompressStream(state, &inLeft, &in, &outLeft, &next, nullptr);
                out->resize(at + kStep - outLeft);
            }
            BrotliDecoderDestroyInstance(state);
            if (result == BROTLI_DECODER_RESULT_SUCCESS && inLeft == 0) return true;
            *problem = out->size() >= limit ? "it unpacks to more than the limit of " + std::to_string(limit >> 20) + " MiB"
                                            : "not whole Brotli data";
            return false;
        }
#endif
#ifdef QUORVANE_HAVE_ZSTD
        case Packing::kZstd: {
            ZSTD_DStream* stream = ZSTD_createDStream();
            ZSTD_inBuffer in = {packed.data(), packed.size(), 0};
            size_t left = 1;
            while (left != 0 && out->size() < limit && !ZSTD_isError(left)) {
                const size_t at = out->size();
                out->resize(at + kStep);
                ZSTD_outBuffer buffer = {&(*out)[at], kStep, 0};
                left = ZSTD_decompressStream(stream, &buffer, &in);
                out->resize(at + buffer.pos);
                if (left != 0 && in.pos == in.size && buffer.pos < kStep) break;
            }
            ZSTD_freeDStream(stream);
            if (left == 0 && in.pos == in.size) return true;
            *problem = out->size() >= limit ? "it unpacks to more than the limit of " + std::to_string(limit >> 20) + " MiB"
                                            : "not whole Zstandard data";
            return false;
        }
#endif
        default:
            *problem = std::string("this build reads no ") + PackingName(packing);
            return false;
    }
}

bool Pack(Packing packing, std::string_view bytes, std::string* out, std::string* problem) {
    switch (packing) {
        case Packing::kGzip: return Gzip(bytes, out, problem);
#ifdef QUORVANE_HAVE_BROTLI
        case Packing::kBrotli: {
            size_t size = BrotliEncoderMaxCompressedSize(bytes.size());
            out->resize(size ? size : bytes.size() + 1024);
            size = out->size();
            if (!BrotliEncoderCompress(BROTLI_MAX_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, bytes.size(),
                                       reinterpret_cast<const uint8_t*>(bytes.data()), &size,
                                       reinterpret_cast<uint8_t*>(&(*out)[0]))) {
                return *problem = "Brotli could not pack it", false;
            }
            out->resize(size);
            return true;
        }
#endif
#ifdef QUORVANE_HAVE_ZSTD
        case Packing::kZstd: {
            out->resize(ZSTD_compressBound(bytes.size()));
            const size_t size = ZSTD_compress(&(*out)[0], out->size(), bytes.data(), bytes.size(), ZSTD_maxCLevel());
            if (ZSTD_isError(size)) return *problem = "Zstandard could not pack it", false;
            out->resize(size);
            return true;
        }
#endif
        default:
            *problem = std::string("this build writes no ") + PackingName(packing);
            return false;
    }
}

}  // namespace site
