// The web-mail extension in headless Chromium: the unpacked extension loaded into a temporary
// profile, the native host registered in that profile, the reference signature service and
// imitation web-mail pages on loopback. Run by tools/web-extension-test.sh with the build folder.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import https from 'node:https';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';
import {HOSTS, composePage} from './pages.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.resolve(process.env.QUILLET_SOURCE_DIR || path.join(here, '../..'));
const build = path.resolve(process.env.QUILLET_BUILD_DIR || path.join(source, 'build-test'));
const hostProgram = path.join(build, 'bin', 'quillet-webmail-host');
const serviceProgram = path.join(build, 'bin', 'quillet-signature-service');
const extensionFolder = path.join(source, 'extension', 'web');
const outputFolder = path.join(build, 'web-extension-test');
const EXTENSION_ID = 'egmamabbiljiefmieldplpaofegligjk';
const POPUP = `chrome-extension://${EXTENSION_ID}/popup/popup.html`;

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quillet-web-'));
const home = path.join(scratch, 'home');
const profile = path.join(scratch, 'profile');
const signatures = path.join(scratch, 'signatures');
let service, pageServer, context;

function setServiceSignature(key, html) {
  fs.writeFileSync(path.join(signatures, `${key}.html`), html);
}

function startService() {
  return new Promise((resolve, reject) => {
    const child = spawn(serviceProgram, ['--folder', signatures, '--port', '0'], {stdio: ['ignore', 'pipe', 'ignore']});
    child.on('error', reject);
    child.stdout.on('data', (data) => {
      const found = /on (http:\/\/\S+)/.exec(String(data));
      if (found) resolve({child, url: found[1]});
    });
  });
}

function startPages() {
  const key = path.join(scratch, 'key.pem');
  const cert = path.join(scratch, 'cert.pem');
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert, '-days', '1',
    '-subj', '/CN=quillet-test'], {stdio: 'ignore'});
  const server = https.createServer({key: fs.readFileSync(key), cert: fs.readFileSync(cert)}, (request, response) => {
    const host = String(request.headers.host || '').replace(/:\d+$/, '');
    const page = composePage(host, request.url);
    response.writeHead(page ? 200 : 404, {'content-type': 'text/html; charset=utf-8'});
    response.end(page || 'not found');
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

before(async () => {
  fs.mkdirSync(signatures, {recursive: true});
  fs.mkdirSync(outputFolder, {recursive: true});
  service = await startService();
  pageServer = await startPages();
  const port = pageServer.address().port;
  // The host is registered for this profile only, as the install step does for a user.
  execFileSync(hostProgram, ['--install', '--profile', profile], {env: {...process.env, QUILLET_HOME: home}});
  const rules = Object.keys(HOSTS).map((host) => `MAP ${host} 127.0.0.1:${port}`).join(', ');
  context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.QUILLET_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    ignoreHTTPSErrors: true,
    ignoreDefaultArgs: ['--disable-extensions', '--disable-component-extensions-with-background-pages'],
    args: [
      '--headless=new',
      '--no-sandbox',
      `--host-resolver-rules=${rules}, EXCLUDE localhost`,
      '--disable-features=DisableLoadExtensionCommandLineSwitch',
      `--disable-extensions-except=${extensionFolder}`,
      `--load-extension=${extensionFolder}`,
    ],
    // What the browser's environment holds reaches the host it starts.
    env: {...process.env, QUILLET_HOME: home, QUILLET_SERVICE_URL: service.url,
      QUILLET_BUNDLE: path.join(build, 'Resources')},
    viewport: {width: 480, height: 460},
  });
  if (context.serviceWorkers().length === 0) await context.waitForEvent('serviceworker', {timeout: 20000});
});

after(async () => {
  if (context) await context.close();
  if (pageServer) pageServer.close();
  if (service) service.child.kill();
  fs.rmSync(scratch, {recursive: true, force: true});
});

async function openPopup() {
  const page = await context.newPage();
  await page.goto(POPUP);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

// Fills the new-signature form and presses "Install Signature"; the form's message, if any.
async function install(popup, {client, account = '', key = '', replies = true}) {
  if (await popup.locator('#new-signature').isHidden()) await popup.click('#add');
  await popup.selectOption('#client', client);
  await popup.fill('#account', account);
  await popup.fill('#key', key);
  await popup.setChecked('#replies-forwards', replies);
  await popup.click('#install');
  await popup.waitForFunction(() => !document.getElementById('message').hidden ||
      document.getElementById('new-signature').hidden, null, {timeout: 20000});
  return (await popup.locator('#new-signature').isVisible()) ? popup.textContent('#message') : null;
}

// Opens a compose area on the imitation page and waits for a signature in it (null: none came).
async function composeSignature(page, waitMs = 8000) {
  await page.click('#new-message');
  const composes = page.locator('section.compose');
  const compose = composes.nth((await composes.count()) - 1);
  try {
    await compose.locator('.quillet-signature').waitFor({timeout: waitMs});
  } catch (e) {
    return null;
  }
  return compose.locator('.quillet-signature').innerHTML();
}

test('the popup installs a signature by key and refuses what the form refuses', async () => {
  setServiceSignature('gmail-key', '<p><b>Ada Lovelace</b> · Gmail</p>');
  const popup = await openPopup();
  assert.equal(await popup.isVisible('#intro'), true);
  await popup.click('#add');
  assert.equal(await popup.locator('.signature-button.pending').count(), 1);

  assert.equal(await install(popup, {client: 'Gmail', account: 'ada@example', key: 'gmail-key'}),
      'Please enter a valid email address.');
  assert.equal(await install(popup, {client: 'Gmail', account: 'ada@example.', key: 'gmail-key'}),
      'Please enter a valid email address.');
  assert.equal(await install(popup, {client: 'Gmail', account: 'ada@example.com', key: 'no-such-key'}),
      'Signature key not found. Please check that the key is correct and try again.');
  assert.equal(await install(popup, {client: 'Gmail', account: 'ada@example.com', key: ''}),
      'Please enter a signature key, or select an HTML file with a signature.');
  await popup.locator('body').screenshot({path: path.join(outputFolder, 'popup-refusal.png')});

  assert.equal(await install(popup, {client: 'Gmail', account: 'Ada@Example.com', key: ' gmail-key\t'}), null);
  assert.equal(await popup.locator('.signature-button').count(), 1);
  assert.equal(await popup.textContent('#existing-client'), 'Gmail');
  assert.equal(await popup.textContent('#existing-account'), 'Ada@Example.com');
  assert.equal(await popup.textContent('#existing-source'), 'gmail-key');
  await popup.locator('body').screenshot({path: path.join(outputFolder, 'popup.png')});

  // Renamed in the popup, as a new popup (another host process) reads it back.
  await popup.fill('#existing-name', ' Ada at work\t');
  await popup.click('#save');
  await popup.waitForFunction(() => document.querySelector('.signature-button').textContent === 'A');
  await popup.close();
  const again = await openPopup();
  assert.equal(await again.inputValue('#existing-name'), 'Ada at work');
  assert.equal(await again.textContent('.signature-button'), 'A');
  await again.close();
});

test('a Gmail compose area receives its signature, and a change on the service reaches it', async () => {
  const page = await context.newPage();
  await page.goto('https://mail.google.com/mail/?from=ada@example.com');
  assert.match(await composeSignature(page), /<b>Ada Lovelace<\/b> · Gmail/);

  setServiceSignature('gmail-key', '<p><b>Ada King</b> · Gmail</p>');
  let html;
  for (let attempt = 0; attempt < 4 && !/Ada King/.test(html || ''); ++attempt) html = await composeSignature(page);
  assert.match(html, /<b>Ada King<\/b> · Gmail/);
  // Another sender gets no account-bound signature.
  await page.goto('https://mail.google.com/mail/?from=someone@example.com');
  assert.equal(await composeSignature(page, 3000), null);
  await page.close();
});

test('a signature is cleaned of everything that runs before it reaches the page', async () => {
  setServiceSignature('yahoo-key', '<p>Grace<img src="x" onerror="window.pwned = \'img\'">' +
      '<script>window.pwned = "script"</script><a href="javascript:window.pwned = \'link\'">site</a>' +
      '<iframe src="https://mail.yahoo.com/"></iframe><form action="https://evil.example"><input name="p"></form></p>');
  const popup = await openPopup();
  assert.equal(await install(popup, {client: 'Yahoo', key: 'yahoo-key'}), null);
  await popup.close();

  const page = await context.newPage();
  await page.goto('https://mail.yahoo.com/d/compose');
  const html = await composeSignature(page);
  assert.match(html, /Grace/);
  for (const forbidden of ['onerror', '<script', 'javascript:', '<iframe', '<form', '<input']) {
    assert.equal(html.includes(forbidden), false, `${forbidden} in ${html}`);
  }
  await page.click('.quillet-signature a');
  await page.waitForTimeout(300);
  assert.equal(await page.evaluate(() => window.pwned), undefined);
  await page.close();
});

test('pages on other hosts get nothing, and a page claiming another client gets its own', async () => {
  const other = await context.newPage();
  await other.goto('https://mail.example.net/mail/?from=ada@example.com');
  assert.equal(await composeSignature(other, 3000), null);
  await other.close();

  // The content script's own world on a Gmail page, asking as if it were Yahoo.
  const page = await context.newPage();
  const session = await context.newCDPSession(page);
  const worlds = [];
  session.on('Runtime.executionContextCreated', ({context: c}) => worlds.push(c));
  await session.send('Runtime.enable');
  await page.goto('https://mail.google.com/mail/');
  await page.waitForFunction(() => true);
  const ask = async (userInfo) => {
    let world;
    for (let i = 0; i < 50 && !world; ++i) {
      world = worlds.find((c) => c.auxData && c.auxData.type === 'isolated' && c.name === 'Quillet for Web Mail');
      if (!world) await page.waitForTimeout(100);
    }
    assert.ok(world, 'the content script runs on the Gmail page');
    const {result} = await session.send('Runtime.evaluate', {
      contextId: world.id, awaitPromise: true, returnByValue: true,
      expression: `chrome.runtime.sendMessage({name: 'GetSignatures', userInfo: ${JSON.stringify(userInfo)}})`,
    });
    return result.value;
  };
  const answer = await ask({client: 'Yahoo', callbackToken: 'tok-1'});
  assert.equal(answer.userInfo.callbackToken, 'tok-1');
  assert.deepEqual(answer.userInfo.signatures.map((s) => s.account), ['Ada@Example.com']);
  assert.equal(await ask({client: 'Gmail', callbackToken: 'not a plain token'}), undefined);
  await page.close();
});
