// The two browsers the extension runs in, driven alike through puppeteer-core: the system's
// Chromium (DevTools protocol, the unpacked extension loaded at start) and Debian's Firefox ESR
// (WebDriver BiDi, the extension installed as a temporary add-on). Each runs in its own profile
// with its own home, where the native host is registered as its install step does it, and reaches
// the services' host names only through a proxy on loopback.
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const CHROMIUM_EXTENSION_ID = 'egmamabbiljiefmieldplpaofegligjk';
const FIREFOX_EXTENSION_ID = 'webmail@quillet.app';
// Fixed, so that the popup's address is known before the add-on is installed.
const FIREFOX_EXTENSION_UUID = '5a1f3c2e-7d4b-4e8a-9c61-2b0d8e9f4a73';
// A first start on a busy machine (a new Firefox profile) takes half a minute.
const LAUNCH_TIMEOUT_MS = 120000;

// What both browsers start with: headless, in the test's profile, taking the pages' own certificate.
const launch = (browser, executablePath, profile, options) => puppeteer.launch({browser, executablePath,
  timeout: LAUNCH_TIMEOUT_MS, headless: true, userDataDir: profile, acceptInsecureCerts: true, ...options});

export const BROWSERS = {
  chromium: {
    executable: process.env.QUILLET_CHROMIUM || '/usr/bin/chromium',
    popupUrl: `chrome-extension://${CHROMIUM_EXTENSION_ID}/popup/popup.html`,
    // The host's manifest for a Chromium started with --user-data-dir is in that folder.
    manifest: ({profile}) => path.join(profile, 'NativeMessagingHosts', 'app.quillet.webmail.json'),
    installArguments: ({profile}) => ['--install', '--profile', profile],
    async launch({profile, extensionFolder, proxy, env}) {
      const browser = await launch('chrome', this.executable, profile, {
        ignoreDefaultArgs: ['--disable-extensions', '--disable-component-extensions-with-background-pages'],
        args: ['--no-sandbox', `--proxy-server=http://${proxy}`,
          '--disable-features=DisableLoadExtensionCommandLineSwitch',
          `--disable-extensions-except=${extensionFolder}`, `--load-extension=${extensionFolder}`],
        env,
      });
      await browser.waitForTarget((t) => t.type() === 'service_worker', {timeout: LAUNCH_TIMEOUT_MS});
      return browser;
    },
  },
  firefox: {
    executable: process.env.QUILLET_FIREFOX || '/usr/bin/firefox-esr',
    popupUrl: `moz-extension://${FIREFOX_EXTENSION_UUID}/popup/popup.html`,
    // Firefox reads host manifests in ~/.mozilla/native-messaging-hosts: its HOME is the test's.
    manifest: ({home}) => path.join(home, '.mozilla', 'native-messaging-hosts', 'app.quillet.webmail.json'),
    installArguments: () => ['--install'],
    async launch({profile, extensionFolder, proxy, env, home}) {
      const [proxyHost, proxyPort] = proxy.split(':');
      fs.mkdirSync(profile, {recursive: true});
      const browser = await launch('firefox', this.executable, profile, {
        // Lets the test open the add-on's own pages (the popup) in a tab.
        args: ['--remote-allow-system-access'],
        extraPrefsFirefox: {
          'extensions.webextensions.uuids': JSON.stringify({[FIREFOX_EXTENSION_ID]: FIREFOX_EXTENSION_UUID}),
          'network.proxy.type': 1,
          'network.proxy.http': proxyHost,
          'network.proxy.http_port': Number(proxyPort),
          'network.proxy.ssl': proxyHost,
          'network.proxy.ssl_port': Number(proxyPort),
          'network.proxy.no_proxies_on': '',
        },
        env: {...env, HOME: home},
      });
      await browser.installExtension(extensionFolder);
      return browser;
    },
  },
};

// The popup's page in a tab of its own, once it has asked the host for the signatures.
export async function openExtensionPage(browser, url) {
  const page = await browser.newPage();
  // Firefox reports no end to a navigation into the add-on's process, and the page's context
  // changes under a waiting query: ask again until the popup says it is ready.
  page.goto(url).catch(() => {});
  const end = Date.now() + 30000;
  while (Date.now() < end) {
    const ready = await page.evaluate((u) => location.href === u && document.body?.dataset.ready === 'true', url)
        .catch(() => false);
    if (ready) return page;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error(`${url} never became ready`);
}
