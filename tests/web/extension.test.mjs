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
import {HOSTS, composePage} from './pages.mjs';

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
const STORIES = JSON.parse(fs.readFileSync(path.join(source, 'tests/data/web/compose-stories.json'), 'utf8'));
let service, pageServer, proxy;

const serve = (key, html) => fs.writeFileSync(path.join(signatures, `${key}.html`), html);
const listen = (server) => new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The pages over HTTPS with a certificate of their own.
function startPages() {
  const [key, cert] = ['key.pem', 'cert.pem'].map((name) => path.join(scratch, name));
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert, '-days', '1',
    '-subj', '/CN=quillet-test'], {stdio: 'ignore'});
  return listen(https.createServer({key: fs.readFileSync(key), cert: fs.readFileSync(cert)}, (request, response) => {
    const host = String(request.headers.host || '').replace(/:\d+$/, '');
    pageRequests.push(`${host}${request.url}`);
    const page = composePage(host);
    response.writeHead(page ? 200 : 404, {'content-type': 'text/html; charset=utf-8'});
    response.end(page || 'not found');
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

const click = (page, selector) => page.$eval(selector, (e) => e.click());
const text = (page, selector) => page.$eval(selector, (e) => e.textContent);
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
      driver.install({hostProgram, home, profile});
      // What the browser's environment holds reaches the host it starts.
      browser = await driver.launch({profile, home, extensionFolder, proxy: `127.0.0.1:${proxy.address().port}`,
        env: {...process.env, QUILLET_HOME: home, QUILLET_SERVICE_URL: service.url,
          QUILLET_BUNDLE: path.join(build, 'Resources')}});
    });

    after(() => browser?.close());

    const openPopup = () => openExtensionPage(browser, driver.popupUrl);

    // Serves the html (if any) under the key, fills the new-signature form and presses "Install
    // Signature"; the form's message, if any.
    async function install(popup, {client, account = '', key = '', replies = true, html}) {
      if (html) serve(key, html);
      if (await isHidden(popup, '#new-signature')) await click(popup, '#add');
      for (const [field, value] of [['#client', client], ['#account', account], ['#key', key],
        ['#replies-forwards', replies]]) await setValue(popup, field, value);
      await click(popup, '#install');
      await popup.waitForFunction(() => !document.getElementById('message').hidden ||
          document.getElementById('new-signature').hidden, {timeout: 20000});
      return (await isHidden(popup, '#new-signature')) ? null : text(popup, '#message');
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

    test('the popup says how to install a missing host, and installs and renames a signature by key', async () => {
      const manifest = driver.manifest({home, profile});
      fs.renameSync(manifest, `${manifest}.away`);
      let popup;
      try {
        popup = await openPopup();
        assert.deepEqual([await isHidden(popup, '#host-error'), await text(popup, '#host-error-text'),
          await text(popup, '#install-command')],
        [false, 'The Quillet web-mail host is not installed.', 'quillet-webmail-host --install']);
        await popup.screenshot({path: path.join(outputFolder, `${kind}-popup-no-host.png`)});
      } finally {
        fs.renameSync(`${manifest}.away`, manifest);
        if (popup) await popup.close();
      }
      // Once it is there, the popup installs a signature by key and shows what the form refuses.
      popup = await openPopup();
      assert.deepEqual([await isHidden(popup, '#host-error'), await isHidden(popup, '#intro')], [true, false]);
      await click(popup, '#add');
      assert.equal((await popup.$$('.signature-button.pending')).length, 1);

      // What else the form refuses, the host's own tests go through.
      assert.equal(await install(popup, {client: 'Gmail', account: 'ada@example.com', key: 'no-such-key'}),
          'Signature key not found. Please check that the key is correct and try again.');

      serve('gmail-key', '<p><b>Ada Lovelace</b> · Gmail</p>');
      assert.equal(await install(popup, {client: 'Gmail', account: 'Ada@Example.com', key: ' gmail-key\t'}), null);
      assert.equal((await popup.$$('.signature-button')).length, 1);
      assert.deepEqual(await Promise.all(['#existing-client', '#existing-account', '#existing-source']
          .map((field) => text(popup, field))), ['Gmail', 'Ada@Example.com', 'gmail-key']);

      // Renamed in the popup, as a new popup reads it back.
      await setValue(popup, '#existing-name', ' Ada at work\t');
      await click(popup, '#save');
      await popup.waitForFunction(() => document.querySelector('.signature-button').textContent === 'A');
      await popup.close();
      const again = await openPopup();
      assert.equal(await again.$eval('#existing-name', (e) => e.value), 'Ada at work');
      await again.close();
    });

    // The stories of tests/data/web/compose-stories.json: each step one of these, on one page.
    const steps = {
      goto: (page, url) => page.goto(`https://${url}`),
      serve: (page, key, html) => serve(key, html),
      openPopup: async () => (await openPopup()).close(),
      install: async (page, ...forms) => {
        const popup = await openPopup();
        for (const form of forms) assert.equal(await install(popup, form), null);
        await popup.close();
      },
      click: (page, selector) => click(page, selector),
      // The signature of a new compose window contains the text; null: no signature comes.
      compose: async (page, expected) => {
        const html = await composeSignature(page, expected ? 8000 : 3000);
        assert.ok(expected ? html?.includes(expected) : html === null, `${page.url()}: ${html}`);
      },
      composeUntil: (page, expected) => waitFor(async () => (await composeSignature(page))?.includes(expected),
          `no new compose window got ${expected}`),
      becomes: (page, expected) => waitFor(async () => (await signatureIn(page, 1000))?.includes(expected),
          `the signature never became ${expected}`),
      // Many more compose areas, each signed (in its frame) without another host starting.
      signsMore: async (page, count) => {
        const before = hostsStarted();
        for (let i = 0; i < count; ++i) await click(page, '#new-message');
        await waitFor(() => page.evaluate((n) => [...document.querySelectorAll('iframe')]
            .filter((f) => f.contentDocument.querySelector('.quillet-signature')).length === n, count + 1),
        'not every compose area was signed');
        assert.equal(hostsStarted(), before);
      },
    };
    for (const story of STORIES) {
      test(story.name, async () => {
        const page = await browser.newPage();
        for (const [step, ...values] of story.steps) await steps[step](page, ...values);
        await page.close();
      });
    }

    test('a signature is cleaned of what runs, and previewed in the popup without remote pictures until asked', async () => {
      const picture = `https://mail.aol.com/remote-picture-${kind}.png`;
      const popup = await openPopup();
      assert.equal(await install(popup, {client: 'Aol', key: 'aol-key', html: fs.readFileSync(
          path.join(source, 'tests/data/web/hostile-signature.html'), 'utf8').replace('{{picture}}', picture)}), null);
      assert.equal(await popup.$eval('#help', (e) => e.href), 'https://quillet.app/help');
      assert.match(await popup.$eval('#feedback', (e) => e.href), /^mailto:feedback@quillet\.app\?subject=/);

      await click(popup, '#edit-color');
      await click(popup, '#colors button:nth-child(4)');
      await popup.waitForFunction(() => document.querySelector('.signature-button[aria-pressed="true"]')
          .style.background === 'rgb(160, 229, 235)');

      // A frame's load waits for its pictures: once it has loaded, a remote one would have been asked.
      const showLoaded = (button) => popup.evaluate((id) => new Promise((resolve) => {
        document.getElementById('preview-frame').addEventListener('load', resolve, {once: true});
        document.getElementById(id).click();
      }), button);
      await showLoaded('preview');
      const shown = await popup.$eval('#preview-frame', (e) => e.srcdoc);
      assert.equal(shown.includes(`<p>Grace<img src="${picture}"`), true, shown);
      assert.equal(shown.includes('<script'), false);
      const pictureAsked = () => pageRequests.includes(picture.slice('https://'.length));
      assert.equal(pictureAsked(), false);
      await showLoaded('load-remote');
      assert.equal(pictureAsked(), true);
      await popup.screenshot({path: path.join(outputFolder, `${kind}-popup-preview.png`)});
      assert.equal(await popup.evaluate(() => window.pwned), undefined);
      await popup.close();

      const page = await browser.newPage();
      await page.goto('https://mail.aol.com/d/compose');
      const html = await composeSignature(page);
      assert.match(html, /Grace/);
      for (const forbidden of ['onerror', '<script', 'javascript:', '<iframe', '<form', '<input']) {
        assert.equal(html.includes(forbidden), false, `${forbidden} in ${html}`);
      }
      await click(page, '.quillet-signature a');
      await sleep(300);
      assert.equal(await page.evaluate(() => window.pwned), undefined);
      await page.close();
    });

    // The isolated world of a content script is reachable only through Chromium's protocol.
    test('a page claiming another client gets its own client\'s signatures, and no popup request goes through',
        {skip: kind !== 'chromium' && 'content-script worlds are reachable in Chromium only'}, async () => {
      const page = await browser.newPage();
      const session = await page.createCDPSession();
      const worlds = [];
      session.on('Runtime.executionContextCreated', ({context: c}) => worlds.push(c));
      await session.send('Runtime.enable');
      await page.goto('https://mail.google.com/mail/');
      // What the content script's own world hears back for the message.
      const send = async (message) => {
        const world = await waitFor(() => worlds.find((c) => c.auxData?.type === 'isolated' &&
            c.name === 'Quillet for Web Mail' && c.auxData.isDefault === false), 'no content script on the Gmail page');
        const {result} = await session.send('Runtime.evaluate', {contextId: world.id, awaitPromise: true,
          returnByValue: true, expression: `chrome.runtime.sendMessage(${JSON.stringify(message)})`});
        return result.value;
      };
      const answer = await send({name: 'GetSignatures', userInfo: {client: 'Yahoo', callbackToken: 'tok-1'}});
      assert.equal(answer.userInfo.callbackToken, 'tok-1');
      assert.deepEqual(answer.userInfo.signatures.map((s) => s.account), ['Ada@Example.com', '']);
      assert.equal(await send({name: 'GetSignatures', userInfo: {client: 'Gmail', callbackToken: 'not a plain token'}}),
          undefined);
      // Only the popup's page may send the popup's requests.
      assert.equal(await send({name: 'Popup', request: {name: 'ListSignatures', userInfo: {}}}), undefined);
      await page.close();
    });
  });
}
