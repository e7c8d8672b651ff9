// TLS with SSPI and the Schannel provider. The engine keeps the encrypted
// bytes it has not used yet; the caller moves bytes to and from the socket.
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include "platform/TlsEngine.h"

#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef SP_PROT_TLS1_2_CLIENT
#define SP_PROT_TLS1_2_CLIENT 0x00000800
#endif
#ifndef SP_PROT_TLS1_3_CLIENT
#define SP_PROT_TLS1_3_CLIENT 0x00002000
#endif
#ifndef SCH_CRED_MANUAL_CRED_VALIDATION
#define SCH_CRED_MANUAL_CRED_VALIDATION 0x00000008
#endif
#ifndef SCH_CRED_NO_DEFAULT_CREDS
#define SCH_CRED_NO_DEFAULT_CREDS 0x00000010
#endif

namespace tarvex {
namespace platform {
namespace {

const DWORD kRequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                            ISC_RET_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

void appendStatus(const char* what, SECURITY_STATUS status, std::string& error) {
    char text[96];
    std::snprintf(text, sizeof(text), "%s: 0x%08lx", what, static_cast<unsigned long>(status));
    error.append(text);
}

void appendBytes(std::vector<uint8_t>& out, const void* data, unsigned long n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
}

const char* policyErrorName(DWORD code) {
    switch (code) {
        case 0x800B0101: return "CERT_E_EXPIRED";
        case 0x800B0102: return "CERT_E_VALIDITYPERIODNESTING";
        case 0x800B0103: return "CERT_E_ROLE";
        case 0x800B0104: return "CERT_E_PATHLENCONST";
        case 0x800B0105: return "CERT_E_CRITICAL";
        case 0x800B0106: return "CERT_E_PURPOSE";
        case 0x800B0107: return "CERT_E_ISSUERCHAINING";
        case 0x800B0108: return "CERT_E_MALFORMED";
        case 0x800B0109: return "CERT_E_UNTRUSTEDROOT";
        case 0x800B010A: return "CERT_E_CHAINING";
        case 0x800B010B: return "TRUST_E_FAIL";
        case 0x800B010C: return "CERT_E_REVOKED";
        case 0x800B010D: return "CERT_E_UNTRUSTEDTESTROOT";
        case 0x800B010E: return "CERT_E_REVOCATION_FAILURE";
        case 0x800B010F: return "CERT_E_CN_NO_MATCH";
        case 0x800B0110: return "CERT_E_WRONG_USAGE";
        default: return "(unknown)";
    }
}

}  // namespace

struct TlsEngine::Impl {
    CredHandle credentials{};
    bool haveCredentials = false;
    CtxtHandle context{};
    bool haveContext = false;
    bool done = false;
    std::string target;
    std::vector<uint8_t> input;  // encrypted bytes not used yet
    std::vector<uint8_t> plain;  // decrypted bytes not handed out yet, from plainAt on
    size_t plainAt = 0;
    bool closed = false;         // the close notification arrived
    SecPkgContext_StreamSizes sizes{};

    // Decrypts the whole records in `input` into `plain`.
    TlsEngine::Status decryptRecords(std::string& error);

    void release() {
        if (haveContext) DeleteSecurityContext(&context);
        if (haveCredentials) FreeCredentialsHandle(&credentials);
        haveContext = haveCredentials = done = closed = false;
        input.clear();
        plain.clear();
        plainAt = 0;
    }

    // Keeps the bytes an SSPI call reported as extra, or none.
    void keepExtra(const SecBuffer& extra) {
        if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 && extra.cbBuffer <= input.size()) {
            std::memmove(input.data(), input.data() + input.size() - extra.cbBuffer, extra.cbBuffer);
            input.resize(extra.cbBuffer);
        } else {
            input.clear();
        }
    }
};

TlsEngine::TlsEngine() : impl_(new Impl) {}

TlsEngine::~TlsEngine() {
    impl_->release();
    delete impl_;
}

bool TlsEngine::start(const char* serverName, std::string& error) {
    impl_->release();
    impl_->target = serverName ? serverName : "";
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
    cred.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    TimeStamp expiry;
    char package[] = UNISP_NAME_A;
    SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                                       nullptr, nullptr, &impl_->credentials, &expiry);
    if (status != SEC_E_OK) {
        // Systems without TLS 1.3 refuse the mask that names it.
        cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        status = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                           nullptr, &impl_->credentials, &expiry);
    }
    if (status != SEC_E_OK) {
        appendStatus("AcquireCredentialsHandle", status, error);
        return false;
    }
    impl_->haveCredentials = true;
    return true;
}

TlsEngine::Status TlsEngine::handshake(const uint8_t* in, uint32_t n, std::vector<uint8_t>& out, std::string& error) {
    Impl& s = *impl_;
    if (!s.haveCredentials) return Status::Failed;
    if (n > 0) s.input.insert(s.input.end(), in, in + n);
    std::vector<char> target(s.target.begin(), s.target.end());
    target.push_back('\0');
    for (;;) {
        SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
        DWORD attributes = 0;
        SECURITY_STATUS status;
        SecBuffer inBuffers[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_EMPTY, nullptr}};
        if (!s.haveContext) {
            status = InitializeSecurityContextA(&s.credentials, nullptr, target.data(), kRequestFlags, 0, 0, nullptr,
                                                0, &s.context, &outDesc, &attributes, nullptr);
            if (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK) s.haveContext = true;
        } else {
            if (s.input.empty()) return Status::WantInput;
            inBuffers[0].cbBuffer = static_cast<unsigned long>(s.input.size());
            inBuffers[0].pvBuffer = s.input.data();
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
            status = InitializeSecurityContextA(&s.credentials, &s.context, target.data(), kRequestFlags, 0, 0,
                                                &inDesc, 0, nullptr, &outDesc, &attributes, nullptr);
        }
        if (outBuffer.pvBuffer) {
            if (outBuffer.cbBuffer > 0 &&
                (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || (attributes & ISC_RET_EXTENDED_ERROR)))
                appendBytes(out, outBuffer.pvBuffer, outBuffer.cbBuffer);
            FreeContextBuffer(outBuffer.pvBuffer);
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) return Status::WantInput;
        if (s.haveContext && inBuffers[0].pvBuffer) s.keepExtra(inBuffers[1]);
        if (status == SEC_E_OK) {
            QueryContextAttributesA(&s.context, SECPKG_ATTR_STREAM_SIZES, &s.sizes);
            s.done = true;
            return Status::Ok;
        }
        if (status == SEC_I_CONTINUE_NEEDED || status == SEC_I_INCOMPLETE_CREDENTIALS) {
            if (s.input.empty()) return Status::WantInput;
            continue;
        }
        appendStatus("InitializeSecurityContext", status, error);
        return Status::Failed;
    }
}

bool TlsEngine::hasPeerCertificate() {
    if (!impl_->done) return false;
    PCCERT_CONTEXT cert = nullptr;
    if (QueryContextAttributesA(&impl_->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert)
        return false;
    CertFreeCertificateContext(cert);
    return true;
}

bool TlsEngine::verifyPeer(std::string& reason, std::string& detail) {
    PCCERT_CONTEXT cert = nullptr;
    if (!impl_->done ||
        QueryContextAttributesA(&impl_->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert) {
        reason.append("(unknown)");
        detail.append("Certificate parameter is null in VerifyServerCertificate");
        return false;
    }
    std::wstring name;
    int wide = MultiByteToWideChar(CP_ACP, 0, impl_->target.c_str(), -1, nullptr, 0);
    if (wide > 0) {
        name.resize(static_cast<size_t>(wide));
        MultiByteToWideChar(CP_ACP, 0, impl_->target.c_str(), -1, &name[0], wide);
    }
    bool trusted = false;
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof(chainPara);
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &chainPara, 0, nullptr, &chain)) {
        reason.append("(unknown)");
        detail.append("Error building certificate chain");
    } else {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof(ssl);
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = name.empty() ? nullptr : &name[0];
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof(policy);
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof(status);
        // The chain's own status first: some policy providers let a chain
        // that ends at an unknown issuer pass.
        const DWORD ignored = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
        const DWORD chainError = chain->TrustStatus.dwErrorStatus & ~ignored;
        if (chainError != 0) {
            DWORD code = 0x800B010B;  // TRUST_E_FAIL
            if (chainError & CERT_TRUST_IS_NOT_TIME_VALID) code = 0x800B0101;
            else if (chainError & CERT_TRUST_IS_REVOKED) code = 0x800B010C;
            else if (chainError & CERT_TRUST_IS_UNTRUSTED_ROOT) code = 0x800B0109;
            else if (chainError & CERT_TRUST_IS_PARTIAL_CHAIN) code = 0x800B010A;
            else if (chainError & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) code = 0x800B0110;
            reason.append(policyErrorName(code));
            char text[48];
            std::snprintf(text, sizeof(text), "chain status 0x%08lx", static_cast<unsigned long>(chainError));
            detail.append(text);
        } else if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
            reason.append("(unknown)");
            detail.append("Error verifying chain policy");
        } else if (status.dwError != 0) {
            reason.append(policyErrorName(status.dwError));
            char text[32];
            std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(status.dwError));
            detail.append(text);
        } else {
            trusted = true;
        }
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(cert);
    return trusted;
}

void TlsEngine::connectionInfo(TlsInfo& info) {
    SecPkgContext_ConnectionInfo c{};
    if (!impl_->done || QueryContextAttributesA(&impl_->context, SECPKG_ATTR_CONNECTION_INFO, &c) != SEC_E_OK) return;
    const char* protocol = nullptr;
    if (c.dwProtocol & SP_PROT_TLS1_3_CLIENT) protocol = "TLSv1.3";
    else if (c.dwProtocol & SP_PROT_TLS1_2_CLIENT) protocol = "TLSv1.2";
    if (protocol)
        std::snprintf(info.protocol, sizeof(info.protocol), "%s", protocol);
    else
        std::snprintf(info.protocol, sizeof(info.protocol), "%lu", static_cast<unsigned long>(c.dwProtocol));
    std::snprintf(info.cipher, sizeof(info.cipher), "0x%x", static_cast<unsigned>(c.aiCipher));
    info.cipherStrength = static_cast<int32_t>(c.dwCipherStrength);
    std::snprintf(info.hash, sizeof(info.hash), "0x%x", static_cast<unsigned>(c.aiHash));
    std::snprintf(info.keyExchange, sizeof(info.keyExchange), "0x%x", static_cast<unsigned>(c.aiExch));
    info.hashStrength = static_cast<int32_t>(c.dwHashStrength);
    info.keyExchangeStrength = static_cast<int32_t>(c.dwExchStrength);
}

bool TlsEngine::encrypt(const uint8_t* data, uint32_t n, std::vector<uint8_t>& out, std::string& error) {
    Impl& s = *impl_;
    if (!s.done) return false;
    const uint32_t maxPiece = s.sizes.cbMaximumMessage ? s.sizes.cbMaximumMessage : 16384;
    while (n > 0) {
        uint32_t piece = n < maxPiece ? n : maxPiece;
        // Each record is sealed in place at the end of `out`.
        const size_t at = out.size();
        out.resize(at + s.sizes.cbHeader + piece + s.sizes.cbTrailer);
        uint8_t* record = out.data() + at;
        std::memcpy(record + s.sizes.cbHeader, data, piece);
        SecBuffer buffers[4] = {
            {s.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record},
            {piece, SECBUFFER_DATA, record + s.sizes.cbHeader},
            {s.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + s.sizes.cbHeader + piece},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&s.context, 0, &desc, 0);
        if (status != SEC_E_OK) {
            out.resize(at);
            appendStatus("EncryptMessage", status, error);
            return false;
        }
        out.resize(at + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        data += piece;
        n -= piece;
    }
    return true;
}

TlsEngine::Status TlsEngine::Impl::decryptRecords(std::string& error) {
    while (!input.empty()) {
        SecBuffer buffers[4] = {{static_cast<unsigned long>(input.size()), SECBUFFER_DATA, input.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = DecryptMessage(&context, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) break;
        if (status == SEC_I_CONTEXT_EXPIRED) {
            closed = true;
            break;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            appendStatus("DecryptMessage", status, error);
            return Status::Failed;
        }
        SecBuffer* extra = nullptr;
        for (SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
                appendBytes(plain, b.pvBuffer, b.cbBuffer);
            }
            if (b.BufferType == SECBUFFER_EXTRA && !extra) extra = &b;
        }
        if (extra) keepExtra(*extra);
        else input.clear();
        if (status == SEC_I_RENEGOTIATE) {
            // TLS 1.3 post-handshake messages (session tickets) arrive this
            // way: hand them to the handshake; nothing is sent back.
            done = false;
            SecBuffer inBuffers[2] = {{static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN,
                                       input.empty() ? nullptr : input.data()},
                                      {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
            SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
            DWORD attributes = 0;
            std::vector<char> name(target.begin(), target.end());
            name.push_back('\0');
            SECURITY_STATUS again = InitializeSecurityContextA(&credentials, &context, name.data(),
                                                               kRequestFlags, 0, 0, &inDesc, 0, nullptr, &outDesc,
                                                               &attributes, nullptr);
            if (outBuffer.pvBuffer) FreeContextBuffer(outBuffer.pvBuffer);
            keepExtra(inBuffers[1]);
            done = true;
            if (again != SEC_E_OK && again != SEC_I_CONTINUE_NEEDED) {
                appendStatus("Renegotiation", again, error);
                return Status::Failed;
            }
        }
    }
    return Status::Ok;
}

TlsEngine::Status TlsEngine::decrypt(const uint8_t* in, uint32_t n, uint8_t* out, uint32_t capacity,
                                     uint32_t& written, std::string& error) {
    Impl& s = *impl_;
    written = 0;
    if (!s.done) return Status::Failed;
    if (n > 0) s.input.insert(s.input.end(), in, in + n);
    if (s.plainAt >= s.plain.size()) {
        // Schannel decrypts in place: the data goes through `plain`, and
        // what does not fit the caller's room waits there.
        s.plain.clear();
        s.plainAt = 0;
        if (!s.closed && s.decryptRecords(error) == Status::Failed) return Status::Failed;
    }
    const size_t held = s.plain.size() - s.plainAt;
    written = static_cast<uint32_t>(held < capacity ? held : capacity);
    if (written > 0) {
        std::memcpy(out, s.plain.data() + s.plainAt, written);
        s.plainAt += written;
        return Status::Ok;
    }
    return s.closed ? Status::Closed : Status::WantInput;
}

bool TlsEngine::closeNotify(std::vector<uint8_t>& out) {
    Impl& s = *impl_;
    if (!s.haveContext) return false;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof(type), SECBUFFER_TOKEN, &type};
    SecBufferDesc tokenDesc{SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(&s.context, &tokenDesc) != SEC_E_OK) return false;
    SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    DWORD attributes = 0;
    std::vector<char> target(s.target.begin(), s.target.end());
    target.push_back('\0');
    SECURITY_STATUS status = InitializeSecurityContextA(&s.credentials, &s.context, target.data(), kRequestFlags, 0,
                                                        0, nullptr, 0, nullptr, &outDesc, &attributes, nullptr);
    if (outBuffer.pvBuffer) {
        if (status == SEC_E_OK && outBuffer.cbBuffer > 0) appendBytes(out, outBuffer.pvBuffer, outBuffer.cbBuffer);
        FreeContextBuffer(outBuffer.pvBuffer);
    }
    return status == SEC_E_OK;
}

}  // namespace platform
}  // namespace tarvex
