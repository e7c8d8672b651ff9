// Makes the loopback test servers' CA a trusted root of the Wine prefix, so
// that https requests through the DLL run to the end:
//   tarvex_wintest.exe --trust <ca.pem>
// The certificate goes into the current user's Root store, the store the
// chain check reads beside the machine's.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int trustCertificate(const wchar_t* pemPath) {
    FILE* f = _wfopen(pemPath, L"rb");
    if (!f) {
        std::printf("FAILED: cannot open the CA file\n");
        return 1;
    }
    std::vector<char> pem;
    char piece[4096];
    for (size_t n; (n = std::fread(piece, 1, sizeof piece, f)) > 0;) pem.insert(pem.end(), piece, piece + n);
    std::fclose(f);

    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
        std::printf("FAILED: the CA file holds no PEM certificate\n");
        return 1;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                         nullptr, nullptr);
    HCERTSTORE root = CertOpenSystemStoreW(0, L"ROOT");
    const bool added = root && CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (root) CertCloseStore(root, 0);
    std::printf(added ? "TARVEX-TRUST-OK\n" : "FAILED: the CA was not added to the Root store\n");
    return added ? 0 : 1;
}
