#include "common/signature_check.h"

#include <memory>

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include "common/unique_fd.h"

namespace tessvale {

extern const char kBuiltInUpdatePublicKeyPem[];

namespace {

struct OpenSslDeleter
{
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// A read-only mapping of a whole file; Ed25519 signs the message as a whole, so the
// file is handed to the check in one piece without copying it into memory.
class MappedFile
{
public:
    explicit MappedFile(const std::string& path)
    {
        const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat info
        {};
        if (!file.Valid() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
            return;
        }
        void* data = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, file.Get(), 0);
        if (data != MAP_FAILED) {
            m_data = data;
            m_size = static_cast<size_t>(info.st_size);
        }
    }
    ~MappedFile()
    {
        if (m_data != nullptr) {
            ::munmap(m_data, m_size);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const unsigned char* Data() const { return static_cast<const unsigned char*>(m_data); }
    size_t Size() const { return m_size; }

private:
    void* m_data = nullptr;
    size_t m_size = 0;
};

} // namespace

bool VerifyFileSignature(const std::string& path, const std::string& signature, const std::string& publicKeyPem)
{
    if (signature.size() != kEd25519SignatureBytes || publicKeyPem.empty()) {
        return false;
    }
    const std::unique_ptr<BIO, OpenSslDeleter> bio(
        BIO_new_mem_buf(publicKeyPem.data(), static_cast<int>(publicKeyPem.size())));
    if (!bio) {
        return false;
    }
    const std::unique_ptr<EVP_PKEY, OpenSslDeleter> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        return false;
    }
    const MappedFile file(path);
    if (file.Data() == nullptr) {
        return false;
    }
    const std::unique_ptr<EVP_MD_CTX, OpenSslDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    const auto* raw = reinterpret_cast<const unsigned char*>(signature.data());
    return EVP_DigestVerify(context.get(), raw, signature.size(), file.Data(), file.Size()) == 1;
}

const std::string& BuiltInUpdatePublicKey()
{
    static const std::string key(kBuiltInUpdatePublicKeyPem);
    return key;
}

} // namespace tessvale
