#!/usr/bin/env bash
# Prints the nginx configuration of a portal on loopback; with a certificate
# and its key, the portal is served over HTTPS.
# Usage: portal-nginx.sh conf <nginx-dir> <root-dir> <log-dir> <port> [<cert.pem> <key.pem>]
set -euo pipefail
[ "$1" = conf ] || { echo "usage: $0 conf <nginx-dir> <root> <logs> <port> [<cert> <key>]" >&2; exit 2; }
dir=$2 root=$3 logs=$4 port=$5
listen="listen 127.0.0.1:$port;"
[ $# -ge 7 ] && listen="listen 127.0.0.1:$port ssl; ssl_certificate $6; ssl_certificate_key $7;"
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root;"
cat <<CONF
$user_line
daemon off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 256; }
http {
    access_log off;
    client_body_temp_path $dir/client_temp;
    proxy_temp_path $dir/proxy_temp;
    fastcgi_temp_path $dir/fastcgi_temp;
    uwsgi_temp_path $dir/uwsgi_temp;
    scgi_temp_path $dir/scgi_temp;
    types { text/html html; image/png png; application/octet-stream exe bin; }
    default_type application/octet-stream;
    sendfile on;
    log_format vorla '\$request_method \$request_uri \$status \$body_bytes_sent "\$http_user_agent" "\$http_range"';
    server {
        $listen
        server_name localhost;
        root $root;
        access_log $logs/access.log vorla;
        # The same requests in nginx's combined format, as a portal logs
        # them (with the time), for the statistics tool.
        access_log $logs/combined.log combined;
        location / { try_files \$uri =404; }
        # Installers arrive at a pace a person can watch; /slow/ serves the
        # same files slower still (per connection: the engine opens several),
        # for downloads that are interrupted halfway.
        location /games/ { limit_rate 1m; try_files \$uri =404; }
        location /slow/ { alias $root/; limit_rate 512k; }
        # /trickle/: an origin far slower than its peers (64 KB/s a
        # connection), for downloads that peers must feed.
        location /trickle/ { alias $root/; limit_rate 64k; }
    }
}
CONF
