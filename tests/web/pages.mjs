// Local imitations of the four web-mail clients' compose pages (tests/data/web), and of a page on
// a host that is none of them, served over HTTPS on loopback (the browsers reach the services'
// host names through a proxy that leads here). The query chooses what the page shows:
//   from=ADDRESS     the compose window's From control shows ADDRESS ("none": no From control)
//   account=ADDRESS  the page's signed-in account element
//   reading=ADDRESS  a message being read, from ADDRESS, beside the compose window
//   frame=1          the compose body is in a same-origin frame (srcdoc)
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const source = process.env.QUILLET_SOURCE_DIR || path.join(fileURLToPath(import.meta.url), '../../..');
const data = path.join(source, 'tests', 'data', 'web');
const CLIENTS = JSON.parse(fs.readFileSync(path.join(data, 'clients.json'), 'utf8'));
const PAGE = fs.readFileSync(path.join(data, 'compose-page.html'), 'utf8');

const escape = (text) => String(text).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');
const fill = (template, values) => template.replace(/\{\{(\w+)\}\}/g, (_, name) => values[name]);

export const HOSTS = {
  'mail.aol.com': 'Aol',
  'mail.google.com': 'Gmail',
  'outlook.live.com': 'Outlook',
  'mail.yahoo.com': 'Yahoo',
  'mail.example.net': 'Gmail',  // looks like Gmail, but is not one of the services' hosts
};

// A page with a "New message" button that opens a compose window like the client's.
export function composePage(host, url) {
  const client = HOSTS[host];
  if (!client) return null;
  const markup = CLIENTS[client];
  const params = new URL(url, `https://${host}`).searchParams;
  const from = params.get('from') === 'none' ? '' : (params.get('from') || 'me@example.com');
  let body = `<div contenteditable="true" ${markup.editor}><p>Hello</p></div>`;
  if (params.get('frame') === '1') body = `<iframe class="editor" srcdoc="${escape(`<!doctype html><body>${body}</body>`)}"></iframe>`;
  const compose = fill(markup.compose, {body, from: from || !markup.fromOptional ? fill(markup.from, {address: escape(from)}) : ''});
  const reading = params.get('reading') ? `<article class="conversation"><span email="${escape(params.get('reading'))}">Someone</span>
       <blockquote>Their message</blockquote></article>` : '';
  const account = params.get('account') ? fill(markup.account, {address: escape(params.get('account'))}) : '';
  return fill(PAGE, {client, account, reading, compose: JSON.stringify(compose)});
}
