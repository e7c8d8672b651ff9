# Peers for bench_codec: zlib and OpenSSL's libcrypto, called directly.
target_link_libraries(${name} PRIVATE ZLIB::ZLIB OpenSSL::Crypto)
