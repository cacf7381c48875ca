// The race page in Debian's chromium: the program with its page on, a phone and a second screen watching
// the stand-in's fuel_critical race at 60x from before the start to after the program's end.
// Usage: node page_test.mjs STINTKEEPER LFS_STANDIN SCREENSHOT_DIR (exit status 1 on any failure)
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [program, standin, shots] = process.argv.slice(2);
const dir = mkdtempSync(path.join(os.tmpdir(), 'stintkeeper-page-'));
const key = 'a-key-of-24-characters-x';
const freePort = () => new Promise(done => {
  const server = net.createServer().listen(0, '127.0.0.1', () => {
    const { port } = server.address();
    server.close(() => done(port));
  });
});
const children = [];
process.on('exit', () => { children.forEach(child => child.kill()); rmSync(dir, { recursive: true, force: true }); });
setTimeout(() => { console.error('page test: timed out'); process.exit(1); }, 180000).unref();
function start(command, args) {
  const child = spawn(command, args.map(String), { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
  Object.assign(child, { out: '', err: '', ended: new Promise(done => child.on('exit', done)) });
  child.stdout.on('data', data => { child.out += data; });
  child.stderr.on('data', data => { child.err += data; });
  return children[children.push(child) - 1];
}
const until = async (what, ms = 15000) => {
  for (const end = Date.now() + ms; !what(); await new Promise(done => setTimeout(done, 50)))
    assert.ok(Date.now() < end, 'timed out waiting for ' + what);
};

const [insim, outgauge, web] = [await freePort(), await freePort(), await freePort()];
writeFileSync(path.join(dir, 'cfg.xml'), `<Stintkeeper><InSim port="${insim}" version="8"/><OutGauge port="${outgauge}"/>
  <Fuel longAverage="30" reserve="0.5" fill="finish" racing="1.1" level="both" topUp="1" round="nearest" stopSeconds="30"/>
  <Plan stints="full"/><Web port="${web}" key="${key}"/></Stintkeeper>`);
const stintkeeper = start(program, []);
await until(() => stintkeeper.err.includes(`the page is on http://127.0.0.1:${web}/`));

const context = await chromium.launchPersistentContext(path.join(dir, 'profile'), {
  executablePath: '/usr/bin/chromium', headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});
const errors = [];
const pages = {};
for (const [name, width, height] of [['phone', 360, 740], ['screen', 1920, 1080]]) {
  const page = pages[name] = await context.newPage();
  await page.setViewportSize({ width, height });
  page.on('pageerror', error => errors.push(error.message));
  // Each redraw, as the page shows it.
  await page.addInitScript(() => addEventListener('DOMContentLoaded', () => {
    const text = selector => [...document.querySelectorAll(selector)].map(element => element.textContent);
    window.seen = [];
    new MutationObserver(() => window.seen.push({
      board: text('#board div').join('\n'), plan: text('#plan div').join(', '),
      colours: [...document.querySelectorAll('#board span[class]')].map(s => s.className + ':' + s.textContent).join(' '),
      points: document.querySelectorAll('#chart circle').length,
    })).observe(document.querySelector('main'), { childList: true, subtree: true });
  }));
  await page.goto(`http://127.0.0.1:${web}/?key=${key}`);
  await page.waitForFunction(() => document.getElementById('link').textContent === 'live');
}

const race = start(standin, ['--scenario', 'fuel_critical', '--speed', 60, '--port', insim, '--simulator', 'current']);
// From the line of lap 11, the window of the stop open: both layouts, saved and measured.
await pages.phone.waitForFunction(() => document.querySelectorAll('#chart circle').length >= 11, null, { timeout: 60000 });
mkdirSync(shots, { recursive: true });
for (const [name, page] of Object.entries(pages)) {
  await page.screenshot({ path: path.join(shots, `page-${name}.png`) });
  const { width, bottoms } = await page.evaluate(() => ({
    width: document.documentElement.scrollWidth,
    bottoms: Object.fromEntries([...document.querySelectorAll('section')].map(s => [s.id, s.getBoundingClientRect().bottom])),
  }));
  const size = page.viewportSize();
  assert.ok(width <= size.width, `${name}: ${width} px wide`);
  const onFirstScreen = name === 'phone' ? ['board-s', 'fuel-s'] : Object.keys(bottoms);
  for (const id of onFirstScreen) assert.ok(bottoms[id] <= size.height, `${name}: #${id} ends at ${bottoms[id]}`);
}

assert.equal(await race.ended, 0, race.out + race.err);
assert.equal(await stintkeeper.ended, 0, stintkeeper.err);
for (const page of Object.values(pages))
  await page.waitForFunction(() => document.body.classList.contains('lost') && /lost/.test(document.getElementById('link').textContent));
const seen = await pages.phone.evaluate(() => window.seen);
await context.close();

// Every board the game showed (the stand-in's frames, plain text) was on the page; the colours of two.
const frames = race.out.match(/^( {2}\| .*\n)+/gm)
  .map(block => block.trimEnd().split('\n').map(line => line.slice(4).replace(/ *\|$/, '')).join('\n'));
assert.equal(frames.length, 14);
const boards = new Map(seen.map(view => [view.board, view.colours]));
assert.deepEqual(frames.filter(frame => !boards.has(frame)), []);
assert.equal(boards.get('L14/15 P4\n-12.7/+0.00\n1:27.96\nFINISHED'), 'c1:4');
assert.equal(boards.get('L5/15 P1\n-0.00/+0.51\n1:01.76\nSET 10% F'), 'c2:+0.51');
assert.equal(boards.get('L12/15 P1\n-0.00/+1.24\n1:02.10 PIT\nSET 10% F'), 'c1:+1.24 c1:PIT');
// Every plan the console gave, in its words; the chart growing by one point at each lap line.
const plans = new Set(seen.map(view => view.plan + '.'));
const printed = stintkeeper.out.split('\n').filter(line => /^Plan: \d/.test(line)).map(line => line.slice(6));
assert.ok(printed.length >= 1);  // the plan speaks only when it matters
assert.deepEqual(printed.filter(plan => !plans.has(plan)), []);
const counts = seen.map(view => view.points).filter((n, i, all) => n !== all[i - 1]);
assert.deepEqual(counts, Array.from({ length: 16 }, (_, i) => i));
assert.deepEqual(errors, []);
console.log(`page test passed: ${frames.length} boards, ${printed.length} plans, ${counts.at(-1)} points; ${shots}`);
