// The web-mail extension in headless Chromium and headless Firefox, the same tests in each: the
// extension loaded into a temporary profile, the native host registered for it, the reference
// signature service and imitation web-mail pages on loopback. Run by tools/web-extension-test.sh
// with the build folder; QUILLET_WEB_BROWSERS chooses the browsers (default: both).
import {describe, test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import https from 'node:https';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {BROWSERS, openExtensionPage} from './browsers.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.resolve(process.env.QUILLET_SOURCE_DIR || path.join(here, '../..'));
const build = path.resolve(process.env.QUILLET_BUILD_DIR || path.join(source, 'build-test'));
const hostProgram = path.join(build, 'bin', 'quillet-webmail-host');
const serviceProgram = path.join(build, 'bin', 'quillet-signature-service');
const extensionFolder = path.resolve(process.env.QUILLET_EXTENSION_DIR || path.join(source, 'extension', 'web'));
const outputFolder = path.join(build, 'web-extension-test');
const browsers = (process.env.QUILLET_WEB_BROWSERS || 'chromium,firefox').split(',');

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quillet-web-'));
const signatures = path.join(scratch, 'signatures');
const pageRequests = [];
const readData = (name) => fs.readFileSync(path.join(source, 'tests/data/web', name), 'utf8');
// The web-mail clients by their host names (mail.example.net looks like Gmail, but is none of the
// services' hosts), and the markup of each one's compose window.
const [HOSTS, CLIENTS] = ['hosts.json', 'clients.json'].map((name) => JSON.parse(readData(name)));
let service, pageServer, proxy;

const serve = (key, html) => fs.writeFileSync(path.join(signatures, `${key}.html`), html);
const listen = (server) => new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Imitations of the clients' pages with a "New message" button that opens a compose window like
// the client's, over HTTPS with a certificate of their own.
function startPages() {
  const [key, cert] = ['key.pem', 'cert.pem'].map((name) => path.join(scratch, name));
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert, '-days', '1',
    '-subj', '/CN=quillet-test'], {stdio: 'ignore'});
  return listen(https.createServer({key: fs.readFileSync(key), cert: fs.readFileSync(cert)}, (request, response) => {
    const host = String(request.headers.host || '').replace(/:\d+$/, '');
    pageRequests.push(`${host}${request.url}`);
    const client = HOSTS[host];
    response.writeHead(client ? 200 : 404, {'content-type': 'text/html; charset=utf-8'});
    response.end(client ? readData('compose-page.html').replace('{{client}}', client)
        .replace('{{markup}}', JSON.stringify(CLIENTS[client])) : 'not found');
  }));
}

// The browsers' only way out: tunnels to the imitation pages for the services' host names, and
// nothing for any other.
function startProxy(pagePort) {
  const server = http.createServer((request, response) => response.writeHead(403).end());
  server.on('connect', (request, socket) => {
    const [host, port] = String(request.url).split(':');
    if (!(host in HOSTS) || port !== '443') return socket.end('HTTP/1.1 403 Forbidden\r\n\r\n');
    const upstream = net.connect(pagePort, '127.0.0.1', () => {
      socket.write('HTTP/1.1 200 Connection Established\r\n\r\n');
      upstream.pipe(socket).pipe(upstream);
    });
    upstream.on('error', () => socket.destroy());
    socket.on('error', () => upstream.destroy());
  });
  return listen(server);
}

before(async () => {
  fs.mkdirSync(signatures, {recursive: true});
  fs.mkdirSync(outputFolder, {recursive: true});
  service = await new Promise((resolve, reject) => {
    const child = spawn(serviceProgram, ['--folder', signatures, '--port', '0'], {stdio: ['ignore', 'pipe', 'ignore']});
    child.on('error', reject);
    child.stdout.on('data', (data) => {
      const found = /on (http:\/\/\S+)/.exec(String(data));
      if (found) resolve({child, url: found[1]});
    });
  });
  pageServer = await startPages();
  proxy = await startProxy(pageServer.address().port);
});

after(() => {
  pageServer.close();
  proxy.close();
  service.child.kill();
  fs.rmSync(scratch, {recursive: true, force: true});
});

// Waits until the condition holds (polling), or fails with the message.
async function waitFor(condition, message, timeoutMs = 20000) {
  const end = Date.now() + timeoutMs;
  for (let value; ; await sleep(100)) {
    if ((value = await condition())) return value;
    if (Date.now() > end) assert.fail(message);
  }
}

// The value is the expected one; or, for {has, lacks, match}, a text that has and lacks those parts, or matches.
function check(actual, expected) {
  if (expected?.constructor !== Object) return assert.deepEqual(actual, expected);
  for (const part of expected.has ?? []) assert.ok(actual?.includes(part), `${part} not in ${actual}`);
  for (const part of expected.lacks ?? []) assert.ok(!actual.includes(part), `${part} in ${actual}`);
  if (expected.match) assert.match(actual, new RegExp(expected.match));
}

const click = (page, selector) => page.$eval(selector, (e) => e.click());
const isHidden = (page, selector) => page.$eval(selector, (e) => e.hidden || e.closest('[hidden]') !== null);
const setValue = (page, selector, value) => page.$eval(selector, (e, v) => {
  if (e.type === 'checkbox') e.checked = v;
  else e.value = v;
  e.dispatchEvent(new Event(e.tagName === 'SELECT' ? 'change' : 'input', {bubbles: true}));
}, value);

for (const kind of browsers) {
  const driver = BROWSERS[kind];
  describe(`in ${kind}`, () => {
    const home = path.join(scratch, kind, 'home');
    const profile = path.join(scratch, kind, 'profile');
    let browser;

    before(async () => {
      fs.mkdirSync(home, {recursive: true});
      execFileSync(hostProgram, driver.installArguments({profile}), {env: {...process.env, QUILLET_HOME: home}});
      // What the browser's environment holds reaches the host it starts.
      browser = await driver.launch({profile, home, extensionFolder, proxy: `127.0.0.1:${proxy.address().port}`,
        env: {...process.env, QUILLET_HOME: home, QUILLET_SERVICE_URL: service.url,
          QUILLET_BUNDLE: path.join(build, 'Resources')}});
    });

    after(() => browser?.close());

    // Fills the popup's new-signature form (its fields by selector) and presses "Install
    // Signature"; the form's message, if any.
    async function fill(popup, fields) {
      if (await isHidden(popup, '#new-signature')) await click(popup, '#add');
      for (const [field, value] of Object.entries(fields)) await setValue(popup, field, value);
      await click(popup, '#install');
      await popup.waitForFunction(() => !document.getElementById('message').hidden ||
          document.getElementById('new-signature').hidden, {timeout: 20000});
      return (await isHidden(popup, '#new-signature')) ? null : popup.$eval('#message', (e) => e.textContent);
    }

    // The signature in the last compose window's body (in its frame, if it has one), once one
    // is there and has not changed for a moment; null when none came.
    async function signatureIn(page, waitMs = 8000) {
      const read = () => page.evaluate(() => {
        const compose = [...document.querySelectorAll('section.compose')].pop();
        const frame = compose && compose.querySelector('iframe');
        const box = (frame ? frame.contentDocument : compose)?.querySelector('.quillet-signature');
        return box ? box.innerHTML : null;
      });
      const end = Date.now() + waitMs;
      let last = null;
      for (let stableSince = Date.now(); Date.now() < end; await sleep(50)) {
        const html = await read();
        if (html !== last) [last, stableSince] = [html, Date.now()];
        else if (html !== null && Date.now() - stableSince > 300) return html;
      }
      return last;
    }

    const composeSignature = (page, waitMs) => click(page, '#new-message').then(() => signatureIn(page, waitMs));

    // Hosts started for this browser so far: each says so in the extension's log.
    const hostsStarted = () => fs.readdirSync(home, {recursive: true}).filter((f) => f.endsWith('Extension/Quillet.log'))
        .map((log) => fs.readFileSync(path.join(home, log), 'utf8')).join('').split('Core: refreshFromServer (ID: 1)')
        .length - 1;

    // The stories of tests/data/web/stories.json, where {{kind}} is this browser: each step one
    // of these, on the story's page (a web-mail page, or the popup it opened last).
    const steps = {
      goto: (s, url) => s.page.goto(`https://${url}`),
      popup: async (s) => s.opened.push(s.page = await openExtensionPage(browser, driver.popupUrl)),
      close: async (s) => {
        await s.opened.pop().close();
        s.page = s.opened.at(-1);
      },
      // The host's manifest away until the story ends.
      hideHost: (s) => {
        const manifest = driver.manifest({home, profile});
        fs.renameSync(manifest, `${manifest}.away`);
        s.undo.push(() => fs.renameSync(`${manifest}.away`, manifest));
      },
      serve: (s, key, html) => serve(key, html),
      serveFile: (s, key, name) => serve(key, readData(name).replaceAll('{{kind}}', kind)),
      fill: async (s, form, message) => assert.equal(await fill(s.page, form), message),
      click: async (s, selector, times = 1) => {
        for (let i = 0; i < times; ++i) await click(s.page, selector);
      },
      set: (s, selector, value) => setValue(s.page, selector, value),
      // A property of the element ("hidden": it or a parent is), or the value of an expression.
      is: async (s, selector, property, expected) => check(await s.page.$eval(selector, (e, p) =>
        p === 'hidden' ? e.closest('[hidden]') !== null : e[p], property), expected),
      evaluates: async (s, expression, expected) => check(await s.page.evaluate(expression), expected),
      waitUntil: (s, expression) => s.page.waitForFunction(expression, {timeout: 20000}),
      // A frame's load waits for its pictures: once it has loaded, a remote one would have been asked.
      show: (s, button) => s.page.evaluate((id) => new Promise((resolve) => {
        document.getElementById('preview-frame').addEventListener('load', resolve, {once: true});
        document.getElementById(id).click();
      }), button),
      requested: (s, url, expected) => assert.equal(pageRequests.includes(url), expected, url),
      screenshot: (s, name) => s.page.screenshot({path: path.join(outputFolder, `${kind}-${name}.png`)}),
      sleep: (s, ms) => sleep(ms),
      // The value of the expression in the content script's own world, which only Chromium's
      // protocol reaches.
      contentScriptEvaluates: async (s, expression, expected) => {
        const session = await s.page.createCDPSession();
        const worlds = [];
        session.on('Runtime.executionContextCreated', ({context: c}) => worlds.push(c));
        await session.send('Runtime.enable');
        const world = await waitFor(() => worlds.find((c) => c.auxData?.type === 'isolated' &&
            c.name === 'Quillet for Web Mail' && c.auxData.isDefault === false), 'no content script on the page');
        const {result} = await session.send('Runtime.evaluate', {contextId: world.id, expression,
          awaitPromise: true, returnByValue: true});
        check(result.value, expected);
      },
      // The signature of a new compose window contains the text; null: no signature comes.
      compose: async (s, expected) => {
        const html = await composeSignature(s.page, expected ? 8000 : 3000);
        if (expected === null) assert.equal(html, null, s.page.url());
        else check(html, typeof expected === 'string' ? {has: [expected]} : expected);
      },
      composeUntil: (s, expected) => waitFor(async () => (await composeSignature(s.page))?.includes(expected),
          `no new compose window got ${expected}`),
      becomes: (s, expected) => waitFor(async () => (await signatureIn(s.page, 1000))?.includes(expected),
          `the signature never became ${expected}`),
      // The hosts started for this browser since the story's mark.
      markHosts: (s) => void (s.hosts = hostsStarted()),
      hostsStarted: (s, expected) => assert.equal(hostsStarted() - s.hosts, expected),
    };
    for (const story of JSON.parse(readData('stories.json').replaceAll('{{kind}}', kind))) {
      test(story.name, {skip: story.only && story.only !== kind && `in ${story.only} only`}, async () => {
        const s = {opened: [], undo: []};
        s.opened.push(s.page = await browser.newPage());
        try {
          for (const [step, ...values] of story.steps) await steps[step](s, ...values);
        } finally {
          s.undo.forEach((undo) => undo());
        }
        for (const page of s.opened) await page.close();
      });
    }
  });
}
