// Debian's chromium for the browser tests, driven by playwright-core: one headless browser with a fresh profile.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch (err) {
  throw new Error(`playwright-core is not installed in tests/browser/node_modules: run tools/setup.sh (${err.message})`);
}

const BROWSER_ARGS = [
  '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update', '--no-first-run',
];

// A browser with JavaScript on or off and a profile directory of its own, removed again by close().
export async function openBrowser(javaScriptEnabled) {
  const profile = mkdtempSync(join(tmpdir(), 'quorvane-profile-'));
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: BROWSER_ARGS,
      javaScriptEnabled,
    });
  } catch (err) {
    rmSync(profile, { recursive: true, force: true });
    throw err;
  }
  return {
    page: context.pages()[0] ?? await context.newPage(),
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}
