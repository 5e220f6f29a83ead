// Sealing throughput of ClipboardCryptoService against raw OpenSSL EVP AES-256-GCM doing the same
// work (fresh nonce, fresh output buffer, tag) in the same run. Prints the ratio raw/seal time
// (1.0 = as fast as raw OpenSSL; the aim is at least 0.9).
#include "BenchSupport.h"

#include <QByteArray>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <string>

namespace {

QByteArray payload(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    RAND_bytes(reinterpret_cast<unsigned char*>(data.data()), int(size));
    return data;
}

void BM_Seal(benchmark::State& state)
{
    const QByteArray data = payload(state.range(0));
    ClipboardCryptoService& crypto = benchCrypto();
    for (auto _ : state) {
        std::optional<QByteArray> sealed = crypto.encrypt(data);
        benchmark::DoNotOptimize(sealed->constData());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_RawOpenSSLSeal(benchmark::State& state)
{
    const QByteArray data = payload(state.range(0));
    const size_t length = size_t(data.size());
    unsigned char key[32];
    RAND_bytes(key, sizeof key);
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[length + 28]);
        RAND_bytes(out.get(), 12);
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int written = 0;
        EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key, out.get());
        EVP_EncryptUpdate(
            ctx, out.get() + 12, &written, reinterpret_cast<const unsigned char*>(data.constData()), int(length));
        EVP_EncryptFinal_ex(ctx, out.get() + 12 + written, &written);
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, out.get() + 12 + length);
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Open(benchmark::State& state)
{
    ClipboardCryptoService& crypto = benchCrypto();
    const QByteArray sealed = *crypto.encrypt(payload(state.range(0)));
    for (auto _ : state) {
        std::optional<QByteArray> opened = crypto.decrypt(sealed);
        benchmark::DoNotOptimize(opened->constData());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

constexpr int64_t MiB = 1024 * 1024;
BENCHMARK(BM_Seal)->Arg(MiB)->Arg(50 * MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawOpenSSLSeal)->Arg(MiB)->Arg(50 * MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Arg(MiB)->Arg(50 * MiB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* size : {"1048576", "52428800"}) {
        const auto seal = reporter.times.find(std::string("BM_Seal/") + size);
        const auto raw = reporter.times.find(std::string("BM_RawOpenSSLSeal/") + size);
        if (seal != reporter.times.end() && raw != reporter.times.end() && seal->second > 0)
            std::printf("sealing %s bytes: throughput ratio seal/raw OpenSSL = %.3f (aim >= 0.9)\n", size,
                raw->second / seal->second);
    }
    benchmark::Shutdown();
    return 0;
}
