// A tiny static file server on 127.0.0.1, for trying the remote page in a desktop browser and for
// its tests. Web Serial needs a secure context, which http://127.0.0.1 and http://localhost are.
//
//   node web/server.mjs [folder] [--port N] [--base /path/]   (defaults: web/remote, 8080, /)
import { createHash } from 'node:crypto';
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.webmanifest': 'application/manifest+json',
  '.json': 'application/json',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
};

// Serves `root` under the URL path `base` (which ends with "/"), with an ETag as static hosts
// give, so that a browser's check of a file it holds costs no body. onServe(path, bytes) hears of
// every file sent (0 bytes when the browser's copy was still good). Resolves to { url, close() }
// once listening.
export function serve(root, { port = 0, base = '/', onServe = () => {} } = {}) {
  const top = resolve(root);
  const server = createServer(async (request, response) => {
    const send = (status, body, type = 'text/plain; charset=utf-8', headers = {}) => {
      response.writeHead(status, {
        'Content-Type': type,
        'Content-Length': body.length,
        'Cache-Control': 'no-cache',
        'X-Content-Type-Options': 'nosniff',
        ...headers,
      });
      response.end(request.method === 'HEAD' ? undefined : body);
    };
    if (request.method !== 'GET' && request.method !== 'HEAD') return send(405, 'GET only\n');
    let path;
    try {
      path = decodeURIComponent(new URL(request.url, 'http://host').pathname);
    } catch {
      return send(400, 'bad path\n');
    }
    if (path === base.slice(0, -1)) {
      response.writeHead(301, { Location: base }).end();
      return;
    }
    if (!path.startsWith(base)) return send(404, 'not found\n');
    let file = normalize(join(top, path.slice(base.length)));
    if (file !== top && !file.startsWith(top + sep)) return send(404, 'not found\n');
    try {
      if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
      const body = await readFile(file);
      const etag = `"${createHash('sha256').update(body).digest('hex').slice(0, 20)}"`;
      if (request.headers['if-none-match'] === etag) {
        onServe(path, 0);
        response.writeHead(304, { ETag: etag, 'Cache-Control': 'no-cache' }).end();
        return;
      }
      onServe(path, body.length);
      send(200, body, TYPES[extname(file)] ?? 'application/octet-stream', { ETag: etag });
    } catch {
      send(404, 'not found\n');
    }
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => {
      done({
        url: `http://127.0.0.1:${server.address().port}${base}`,
        close: () =>
          new Promise((closed) => {
            server.close(closed);
            server.closeAllConnections();
          }),
      });
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const option = (name, fallback) => {
    const at = args.indexOf(name);
    if (at < 0) return fallback;
    const [, value] = args.splice(at, 2);
    return value;
  };
  const port = Number(option('--port', '8080'));
  const base = option('--base', '/').replace(/\/?$/, '/');
  const root = args[0] ?? fileURLToPath(new URL('remote', import.meta.url));
  if (!Number.isInteger(port) || port < 0 || port > 65535) {
    console.error(`server: the port must be a number from 0 to 65535, not "${port}"`);
    process.exit(2);
  }
  serve(root, { port, base }).then(
    ({ url }) => console.log(`Serving ${root} at ${url} (Ctrl+C stops)`),
    (error) => {
      console.error(`server: ${error.message}`);
      process.exit(1);
    },
  );
}
