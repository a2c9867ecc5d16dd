// Renews the remote page's offline set in its service worker (web/remote/sw.js): the list of the
// page's files and the version that names the set, a hash of every file of the page. The folder is
// served as it stands, so the version lives in the tree and must be renewed with every change.
//   node web/update-offline.mjs [folder]           write the list and the version into folder/sw.js
//   node web/update-offline.mjs --check [folder]   change nothing; exit 1 when they are stale
// The folder is web/remote unless given. The version covers sw.js too, all but the set itself.
import { createHash } from 'node:crypto';
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join, relative, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const WORKER = 'sw.js';
const BEGIN = '// The offline set, written by web/update-offline.mjs:';
const END = '// (end of the offline set)';

function filesOf(folder) {
  return readdirSync(folder, { recursive: true, withFileTypes: true })
    .filter((entry) => entry.isFile())
    .map((entry) => relative(folder, join(entry.parentPath ?? entry.path, entry.name)).split(sep).join('/'))
    .sort();
}

// The worker's text with its offline set left out (that is, from BEGIN to END).
function withoutSet(worker) {
  const begin = worker.indexOf(BEGIN);
  return worker.slice(0, begin) + worker.slice(worker.indexOf(END, begin) + END.length);
}

// The block as it should read, for the worker's text with any offline set in it.
function offlineSet(folder, worker) {
  const files = filesOf(folder);
  const hash = createHash('sha256');
  for (const file of files) {
    const bytes = file === WORKER ? Buffer.from(withoutSet(worker)) : readFileSync(join(folder, file));
    hash.update(`${file}\0${bytes.length}\0`).update(bytes);
  }
  const cached = files.filter((file) => file !== WORKER).map((file) => (file === 'index.html' ? './' : file));
  return [
    BEGIN,
    `const VERSION = '${hash.digest('hex').slice(0, 16)}';`,
    'const FILES = [',
    ...cached.map((file) => `  '${file}',`),
    '];',
    END,
  ].join('\n');
}

function main(args) {
  if (args.includes('-h') || args.includes('--help')) {
    const text = readFileSync(fileURLToPath(import.meta.url), 'utf8');
    console.log(text.split('\nimport')[0].replace(/^\/\/ ?/gm, ''));
    return 0;
  }
  const check = args[0] === '--check';
  const rest = check ? args.slice(1) : args;
  if (rest.length > 1 || rest.some((arg) => arg.startsWith('-'))) {
    console.error(`update-offline: unknown argument: ${rest.find((arg) => arg.startsWith('-')) ?? rest[1]} (see --help)`);
    return 2;
  }
  const folder = rest[0] ?? fileURLToPath(new URL('remote', import.meta.url));
  const path = join(folder, WORKER);
  let worker;
  try {
    worker = readFileSync(path, 'utf8');
  } catch (error) {
    console.error(`update-offline: cannot read ${path}: ${error.message}`);
    return 2;
  }
  const begin = worker.indexOf(BEGIN);
  const end = worker.indexOf(END, begin);
  if (begin < 0 || end < 0) {
    console.error(`update-offline: ${path} has no offline set (a block from "${BEGIN}" to "${END}")`);
    return 2;
  }
  const current = worker.slice(begin, end + END.length);
  const wanted = offlineSet(folder, worker);
  if (current === wanted) return 0;
  if (check) {
    console.error(`update-offline: the offline set in ${path} is stale (run node web/update-offline.mjs)`);
    console.error(`  now:    ${current.split('\n')[1]}\n  wanted: ${wanted.split('\n')[1]}`);
    return 1;
  }
  writeFileSync(path, worker.slice(0, begin) + wanted + worker.slice(end + END.length));
  console.log(`update-offline: ${path}: ${wanted.split('\n')[1]}`);
  return 0;
}

process.exit(main(process.argv.slice(2)));
