// Opens hlp2html sites in Debian's headless Chromium, the way a reader
// would: pages load without a console error, every picture shows at its
// natural size, a pop-up hotspot opens its pop-up, a picture's hotspot leads
// to its topic, the search finds a word.  Screenshots go to the output folder.
//
// Usage: node browser_test.mjs OUTDIR SITE...   (each SITE a folder hlp2html wrote)
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [outDir, ...sites] = process.argv.slice(2);
fs.mkdirSync(outDir, { recursive: true });
const failures = [];
const fail = (what) => { failures.push(what); console.log('FAIL ' + what); };
const url = (file) => 'file://' + path.resolve(file);

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: fs.mkdtempSync(path.join(outDir, 'profile-')),
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
         '--disable-sync', '--no-first-run', '--allow-file-access-from-files'],
});

async function open(file) {
  const page = await browser.newPage();
  await page.setViewport({ width: 900, height: 700 });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('requestfailed', (r) => errors.push('failed to load ' + r.url()));
  // A dialog can only come from script the help file's text made live.
  page.on('dialog', async (d) => { errors.push('a script ran: ' + d.message()); await d.dismiss(); });
  await page.goto(url(file), { waitUntil: 'load' });
  return { page, errors };
}

async function checkImages(page, where) {
  const images = await page.$$eval('img', (all) => all.map((i) => ({
    src: i.getAttribute('src'), done: i.complete, nw: i.naturalWidth, nh: i.naturalHeight,
    w: Number(i.getAttribute('width')), h: Number(i.getAttribute('height')) })));
  for (const i of images) {
    if (!i.done || i.nw === 0) fail(`${where}: picture ${i.src} does not show`);
    else if (i.nw !== i.w || i.nh !== i.h) fail(`${where}: picture ${i.src} is ${i.nw}x${i.nh}, the page says ${i.w}x${i.h}`);
  }
  return images.length;
}

let pages = 0, pictures = 0, popups = 0, areas = 0, shots = 0;
for (const site of sites) {
  const name = path.basename(site);
  const files = fs.readdirSync(site).filter((f) => f.endsWith('.html')).sort();
  // Topic pages with the most to show first: pictures, pop-ups; then the rest, up to a bound.
  const content = new Map(files.map((f) => [f, fs.readFileSync(path.join(site, f), 'utf8')]));
  const topics = files.filter((f) => !content.get(f).includes('http-equiv="refresh"'));
  const rank = (f) => (content.get(f).includes('<img') ? 2 : 0) + (content.get(f).includes('popovertarget') ? 1 : 0);
  const chosen = [...topics].sort((a, b) => rank(b) - rank(a) || a.localeCompare(b)).slice(0, 24);
  for (const f of ['index.html', 'keywords.html', 'search.html', ...chosen.filter((f) => !['index.html', 'keywords.html', 'search.html'].includes(f))]) {
    const { page, errors } = await open(path.join(site, f));
    pages++;
    pictures += await checkImages(page, `${name}/${f}`);
    for (const e of errors) fail(`${name}/${f}: ${e}`);
    await page.close();
  }
  // A pop-up hotspot opens its pop-up.
  const withPopup = chosen.find((f) => content.get(f).includes('popovertarget'));
  if (withPopup) {
    const { page, errors } = await open(path.join(site, withPopup));
    const id = await page.$eval('button[popovertarget]', (b) => b.getAttribute('popovertarget'));
    await page.click(`button[popovertarget="${id}"]`);
    const shown = await page.$eval(`[id="${id}"]`, (p) => p.matches(':popover-open'));
    if (!shown) fail(`${name}/${withPopup}: the pop-up ${id} did not open`);
    else popups++;
    await page.screenshot({ path: path.join(outDir, `${name}-popup.png`) });
    shots++;
    for (const e of errors) fail(`${name}/${withPopup}: ${e}`);
    await page.close();
  }
  // A hotspot of a picture leads to its topic.
  const withMap = chosen.find((f) => /<area [^>]*href="[^"#]+\.html/.test(content.get(f)));
  if (withMap) {
    const { page } = await open(path.join(site, withMap));
    const target = await page.evaluate(() => {
      const area = [...document.querySelectorAll('area[href]')].find((a) => /\.html/.test(a.getAttribute('href')));
      const map = area.parentElement;
      const img = document.querySelector(`img[usemap="#${map.getAttribute('name')}"]`);
      img.scrollIntoView();
      const box = img.getBoundingClientRect();
      const [l, t, r, b] = area.getAttribute('coords').split(',').map(Number);
      return { href: area.getAttribute('href'), x: box.left + (l + r) / 2, y: box.top + (t + b) / 2 };
    });
    await page.screenshot({ path: path.join(outDir, `${name}-picture.png`) });
    shots++;
    await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.mouse.click(target.x, target.y)]);
    const landed = decodeURIComponent(new URL(page.url()).pathname.split('/').pop());
    if (landed !== target.href.split('#')[0]) fail(`${name}/${withMap}: the picture's hotspot led to ${landed}, not ${target.href}`);
    else areas++;
    await page.close();
  }
  // The first topic and the contents, as a reader sees them.
  for (const f of ['index.html', chosen[0]]) {
    if (!f) continue;
    const { page } = await open(path.join(site, f));
    await page.screenshot({ path: path.join(outDir, `${name}-${f.replace(/\.html$/, '')}.png`) });
    shots++;
    await page.close();
  }
  // The search page finds a word of the first topic's title.
  const { page, errors } = await open(path.join(site, 'search.html'));
  const word = await page.evaluate(() => {
    for (const e of QUILLON_SEARCH) {
      const w = (e[1] + ' ' + e[2]).split(/[\s.,;:()]+/).find((x) => x.length > 3);
      if (w) return w;
    }
    return 'help';
  });
  await page.type('#q', word);
  const hits = await page.$$eval('#r a', (a) => a.length);
  if (hits === 0) fail(`${name}/search.html: no topic found for "${word}"`);
  for (const e of errors) fail(`${name}/search.html: ${e}`);
  await page.close();
}
await browser.close();
console.log(`${sites.length} sites, ${pages} pages, ${pictures} pictures, ${popups} pop-ups opened, ${areas} picture hotspots followed, ${shots} screenshots in ${outDir}`);
if (failures.length) {
  console.log(`${failures.length} failures`);
  process.exit(1);
}
