// Runs the lab's check (lab_engines.js) in Firefox ESR, driven over WebDriver
// BiDi by puppeteer-core, and prints what it resolves to as JSON.
//
//   node lab_firefox.mjs NPM_ROOT LAB_HTML CHECK_JS SESSION_FILE
import {readFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import {pathToFileURL} from 'node:url';

const [root, lab, check, session] = process.argv.slice(2);
const puppeteer = createRequire(root + '/')('puppeteer-core');
const browser = await puppeteer.launch(
    {browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true});
try {
    const page = await browser.newPage();
    await page.goto(pathToFileURL(lab).href);
    const run = `(${readFileSync(check, 'utf8')})(${JSON.stringify(readFileSync(session, 'utf8'))})`;
    console.log(JSON.stringify(await page.evaluate(run)));
} finally {
    await browser.close();
}
