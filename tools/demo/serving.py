"""Serving on loopback for the demo tools: listen on the port asked for, or say why not."""
import http.server
import sys


def serve(handler, port, port_file=None):
    """Serves 127.0.0.1:PORT until interrupted; writes the port to PORT_FILE once listening.
    A port that cannot be had is said on stderr and answered with exit status 1, so that a
    caller never goes on against whatever else holds it."""
    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    except OSError as error:
        print("cannot listen on 127.0.0.1:%d: %s" % (port, error.strerror), file=sys.stderr)
        return 1
    if port_file:
        with open(port_file, "w") as f:
            f.write(str(server.server_address[1]))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0
