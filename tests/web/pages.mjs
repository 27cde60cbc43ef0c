// Local imitations of the four web-mail clients' compose pages (tests/data/web: the page, and
// each client's markup that it fills in), and of a page on a host that is none of them, served
// over HTTPS on loopback (the browsers reach the services' host names through a proxy that leads
// here).
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const source = process.env.QUILLET_SOURCE_DIR || path.join(fileURLToPath(import.meta.url), '../../..');
const data = path.join(source, 'tests', 'data', 'web');
const CLIENTS = JSON.parse(fs.readFileSync(path.join(data, 'clients.json'), 'utf8'));
const PAGE = fs.readFileSync(path.join(data, 'compose-page.html'), 'utf8');

export const HOSTS = {
  'mail.aol.com': 'Aol',
  'mail.google.com': 'Gmail',
  'outlook.live.com': 'Outlook',
  'mail.yahoo.com': 'Yahoo',
  'mail.example.net': 'Gmail',  // looks like Gmail, but is not one of the services' hosts
};

// A page with a "New message" button that opens a compose window like the client's.
export function composePage(host) {
  const client = HOSTS[host];
  return client && PAGE.replace('{{client}}', client).replace('{{markup}}', JSON.stringify(CLIENTS[client]));
}
