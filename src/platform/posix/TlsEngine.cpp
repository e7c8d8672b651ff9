// TLS with OpenSSL over memory BIOs: the engine only turns bytes into bytes.
#include "platform/TlsEngine.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace tarvex {
namespace platform {
namespace {

// One context per process: building it loads the trust store (the system's,
// or the bundle named by SSL_CERT_FILE / SSL_CERT_DIR), which costs far more
// than a handshake.
SSL_CTX* sharedContext(std::string& error) {
    static SSL_CTX* context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        if (!ctx) return;
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION);
        SSL_CTX_set_default_verify_paths(ctx);
        // The chain is checked after the handshake so that the failure can be
        // named in the call log; the request stops there.
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
        context = ctx;
    });
    if (!context) error.append("The TLS library could not create a client context.");
    return context;
}

void appendLibraryError(std::string& error) {
    unsigned long code = ERR_get_error();
    if (code == 0) {
        error.append("TLS protocol failure");
        return;
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    error.append(text);
    ERR_clear_error();
}

bool isNumericAddress(const char* host) {
    ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host);
    if (!ip) return false;
    ASN1_OCTET_STRING_free(ip);
    return true;
}

const char* verifyName(long result) {
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "CERT_E_EXPIRED";
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_CERT_UNTRUSTED:
            return "CERT_E_UNTRUSTEDROOT";
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "CERT_E_CN_NO_MATCH";
        case X509_V_ERR_CERT_REVOKED:
            return "CERT_E_REVOKED";
        case X509_V_ERR_INVALID_PURPOSE:
            return "CERT_E_WRONG_USAGE";
        case X509_V_ERR_PATH_LENGTH_EXCEEDED:
            return "CERT_E_PATHLENCONST";
        case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
            return "CERT_E_CRITICAL";
        case X509_V_ERR_INVALID_CA:
            return "CERT_E_ROLE";
        case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
            return "TRUST_E_FAIL";
        default:
            return "(unknown)";
    }
}

// Moves everything the engine wants sent to the end of `out`, in one block
// per call (vector growth doubles, so long streams of appends stay linear).
void drain(BIO* bio, std::vector<uint8_t>& out) {
    size_t pending;
    while ((pending = BIO_ctrl_pending(bio)) > 0) {
        size_t size = out.size();
        out.resize(size + pending);
        int n = BIO_read(bio, out.data() + size, static_cast<int>(pending));
        out.resize(size + (n > 0 ? static_cast<size_t>(n) : 0));
        if (n <= 0) break;
    }
}

}  // namespace

struct TlsEngine::Impl {
    SSL* ssl = nullptr;
    BIO* in = nullptr;   // bytes from the server
    BIO* out = nullptr;  // bytes for the server
};

TlsEngine::TlsEngine() : impl_(new Impl) {}

TlsEngine::~TlsEngine() {
    if (impl_->ssl) SSL_free(impl_->ssl);  // frees both BIOs
    delete impl_;
}

bool TlsEngine::start(const char* serverName, std::string& error) {
    SSL_CTX* ctx = sharedContext(error);
    if (!ctx) return false;
    if (impl_->ssl) {
        SSL_free(impl_->ssl);
        impl_->ssl = nullptr;
    }
    SSL* ssl = SSL_new(ctx);
    if (!ssl) {
        appendLibraryError(error);
        return false;
    }
    impl_->ssl = ssl;
    impl_->in = BIO_new(BIO_s_mem());
    impl_->out = BIO_new(BIO_s_mem());
    if (!impl_->in || !impl_->out) {
        if (impl_->in) BIO_free(impl_->in);
        if (impl_->out) BIO_free(impl_->out);
        impl_->in = impl_->out = nullptr;
        error.append("Out of memory for TLS buffers");
        return false;
    }
    // An empty input BIO means "wait for more", not end of stream.
    BIO_set_mem_eof_return(impl_->in, -1);
    SSL_set_bio(ssl, impl_->in, impl_->out);
    SSL_set_connect_state(ssl);
    if (isNumericAddress(serverName)) {
        // Addresses are matched against the certificate's IP entries; SNI
        // carries host names only.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), serverName);
    } else {
        SSL_set_tlsext_host_name(ssl, serverName);
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(ssl, serverName) != 1) {
            appendLibraryError(error);
            return false;
        }
    }
    return true;
}

TlsEngine::Status TlsEngine::handshake(const uint8_t* in, uint32_t n, std::vector<uint8_t>& out, std::string& error) {
    if (!impl_->ssl) return Status::Failed;
    if (n > 0 && BIO_write(impl_->in, in, static_cast<int>(n)) != static_cast<int>(n)) {
        error.append("Out of memory for TLS input");
        return Status::Failed;
    }
    ERR_clear_error();
    int rc = SSL_do_handshake(impl_->ssl);
    drain(impl_->out, out);
    if (rc == 1) return Status::Ok;
    int reason = SSL_get_error(impl_->ssl, rc);
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) return Status::WantInput;
    appendLibraryError(error);
    return Status::Failed;
}

bool TlsEngine::hasPeerCertificate() { return impl_->ssl && SSL_get0_peer_certificate(impl_->ssl) != nullptr; }

bool TlsEngine::verifyPeer(std::string& reason, std::string& detail) {
    if (!impl_->ssl) return false;
    long result = SSL_get_verify_result(impl_->ssl);
    if (result == X509_V_OK && hasPeerCertificate()) return true;
    reason.append(verifyName(result));
    detail.append(X509_verify_cert_error_string(result));
    return false;
}

void TlsEngine::connectionInfo(TlsInfo& info) {
    if (!impl_->ssl) return;
    std::snprintf(info.protocol, sizeof(info.protocol), "%s", SSL_get_version(impl_->ssl));
    const SSL_CIPHER* cipher = SSL_get_current_cipher(impl_->ssl);
    if (!cipher) return;
    std::snprintf(info.cipher, sizeof(info.cipher), "%s", SSL_CIPHER_get_name(cipher));
    info.cipherStrength = SSL_CIPHER_get_bits(cipher, nullptr);
    const EVP_MD* md = SSL_CIPHER_get_handshake_digest(cipher);
    std::snprintf(info.hash, sizeof(info.hash), "%s", md ? EVP_MD_get0_name(md) : "");
    info.hashStrength = md ? EVP_MD_get_size(md) * 8 : 0;
    EVP_PKEY* key = nullptr;
    if (SSL_get_peer_tmp_key(impl_->ssl, &key) == 1 && key) {
        info.keyExchangeStrength = EVP_PKEY_get_bits(key);
        EVP_PKEY_free(key);
    }
    int kx = SSL_CIPHER_get_kx_nid(cipher);
    const char* kxName = kx == NID_kx_any ? "ECDHE/DHE (TLS 1.3)" : OBJ_nid2sn(kx);
    std::snprintf(info.keyExchange, sizeof(info.keyExchange), "%s", kxName ? kxName : "");
}

bool TlsEngine::encrypt(const uint8_t* data, uint32_t n, std::vector<uint8_t>& out, std::string& error) {
    if (!impl_->ssl) return false;
    while (n > 0) {
        ERR_clear_error();
        int chunk = n > 16384 ? 16384 : static_cast<int>(n);
        int rc = SSL_write(impl_->ssl, data, chunk);
        if (rc <= 0) {
            appendLibraryError(error);
            return false;
        }
        data += rc;
        n -= static_cast<uint32_t>(rc);
        drain(impl_->out, out);
    }
    return true;
}

TlsEngine::Status TlsEngine::decrypt(const uint8_t* in, uint32_t n, uint8_t* out, uint32_t capacity,
                                     uint32_t& written, std::string& error) {
    written = 0;
    if (!impl_->ssl) return Status::Failed;
    if (n > 0 && BIO_write(impl_->in, in, static_cast<int>(n)) != static_cast<int>(n)) {
        error.append("Out of memory for TLS input");
        return Status::Failed;
    }
    while (written < capacity) {
        // Each call gives one record at most: the loop takes every record
        // the input completes, straight into the caller's memory.
        const uint32_t room = capacity - written;
        ERR_clear_error();
        int rc = SSL_read(impl_->ssl, out + written, static_cast<int>(room < 0x40000000u ? room : 0x40000000u));
        if (rc > 0) {
            written += static_cast<uint32_t>(rc);
            continue;
        }
        // Data comes first; the reason it stopped shows again on the next call.
        if (written > 0) return Status::Ok;
        int reason = SSL_get_error(impl_->ssl, rc);
        if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) return Status::WantInput;
        if (reason == SSL_ERROR_ZERO_RETURN) return Status::Closed;
        appendLibraryError(error);
        return Status::Failed;
    }
    return Status::Ok;
}

bool TlsEngine::closeNotify(std::vector<uint8_t>& out) {
    if (!impl_->ssl) return false;
    SSL_shutdown(impl_->ssl);
    drain(impl_->out, out);
    return true;
}

}  // namespace platform
}  // namespace tarvex
