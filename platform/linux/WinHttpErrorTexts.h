// Texts for the WinHTTP error numbers that the Linux HTTP back end reports, so that failure
// messages read alike on both targets.
#pragma once

namespace platform {

inline const char* winHttpErrorText(int code) {
    switch (code) {
        case 12001: return "No more handles could be generated at this time.";
        case 12002: return "The operation timed out.";
        case 12004: return "An internal error occurred in the Microsoft Windows HTTP Services.";
        case 12005: return "The URL is invalid.";
        case 12006: return "The URL does not use a recognized protocol.";
        case 12007: return "The server name or address could not be resolved.";
        case 12009: return "The option value is not valid.";
        case 12012: return "The Microsoft Windows HTTP Services are shutting down.";
        case 12015: return "The login attempt failed.";
        case 12017: return "The operation has been canceled.";
        case 12018: return "The type of handle supplied is incorrect for this operation.";
        case 12019: return "The handle supplied is not in the correct state.";
        case 12029: return "A connection with the server could not be established.";
        case 12030: return "The connection with the server was terminated abnormally.";
        case 12032: return "The request must be resent.";
        case 12037: return "The date in the certificate is invalid or has expired.";
        case 12038: return "The host name in the certificate is invalid or does not match.";
        case 12044: return "A certificate is required to complete client authentication.";
        case 12045: return "The certificate authority is invalid or incorrect.";
        case 12150: return "The requested header could not be located.";
        case 12152: return "The server response could not be parsed.";
        case 12156: return "The redirection failed.";
        case 12157: return "An error occurred in the secure channel support.";
        case 12166: return "An error occurred executing the script code in the Proxy "
                           "Auto-Configuration (PAC) file.";
        case 12167: return "The PAC file could not be downloaded.";
        case 12169: return "The certificate is invalid.";
        case 12170: return "The certificate has been revoked.";
        case 12175: return "A security error occurred.";
        case 12178: return "No proxy could be located for the URL.";
        case 12180: return "The automatic proxy service failed.";
        case 12184: return "The response has too many headers.";
        default: return nullptr;
    }
}

}  // namespace platform
