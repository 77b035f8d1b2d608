// A manifest signed by scripts/sign-manifest with tests/data/trust/test-key.pem (--serial 1000
// --expires-in 36500): it names the web peer's small.txt (installer) and large.bin (MySQL
// installer) with their SHA-256 and size lines.
#pragma once

#include <string>
#include <string_view>

namespace trustvectors {

inline std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

inline const std::string kTestKey = fromHex(
    "044fe3401d4b956f43e36e700970f8d45907eb4f84c8c27344042c66e01d738e22eed8f9d236ccb45e262312720a"
    "00b7a9ab30517fb7bdc0bddb592c65adf0f71c");
// tests/data/trust/other-key.pem's public half.
inline const std::string kOtherKey = fromHex(
    "04f13a7d6bdcea9d02991079dd4ba55996ebf3f8c5c2f502e8935ba3b3dab09a4595ef17f32da812632b0955de00"
    "05b701509910a088c10a9401c5640c283bb110");

inline const std::string kManifest =
    "1.0=http://127.0.0.1:18480/small.txt\r\n"
    "sql=http://127.0.0.1:18480/large.bin\r\n"
    "sha256=4ad8e477d2815fbdde7de086698a9df8d031a3e57ba9a68a59ee3f5af70b194d\r\n"
    "size=18\r\n"
    "sql.sha256=38fee570f33350d7d446af5fdf43687099958701b66a47be6dc803dcb2c4a9a8\r\n"
    "sql.size=8388608\r\n"
    "serial=1000\r\n"
    "expires=2126-11-14T22:33:07Z\r\n";
// openssl dgst -sha256 -sign test-key.pem: DER.
inline const std::string kSignature = fromHex(
    "3045022100c98fcf86e5d910a04c7dc87b2f38b74da54ae6b50bb53ac87c4f8f69cf4bc7c3022016da465f76ace1"
    "cd748ac919a46aaefb0d43d64526abad704661a2c0cb09f735");
// The same manifest signed with other-key.pem.
inline const std::string kOtherSignature = fromHex(
    "304502210092b12da812b31994abd9aece0d5ea4b447cfcb726030167b84e1df9d86da3e5302200e47bb3d45cab3"
    "e114ed9257dd4892166cafebce188582df7ef1103bd2cbf375");

// A signed manifest without hash lines.
inline const std::string kBareManifest = "1.0=http://127.0.0.1:18480/small.txt\r\n";
inline const std::string kBareSignature = fromHex(
    "3046022100c05f3a026bacba1b21abfb53dde10bb90a3570ed8faddf29395f4a4eb45bf615022100a8e1c7ec8d2f"
    "9952eea5364e978b80f52109820b3de07ef5d1701f1e5fb212b5");

// The web peer's small.txt, which the manifests name as the installer.
inline const std::string kSmallFile = "Orvelle test file\n";

}  // namespace trustvectors
