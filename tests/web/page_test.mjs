// The page in headless chromium, opened from disk, as a person uses it:
// files chosen and dropped, downloads, banks, the zip, the C text, a
// refusal and a merge, nothing fetched; a screenshot kept in SCRATCH.
//   page_test.mjs NODE_FOLDER PAGE EXAMPLES SCRATCH
import { execFileSync } from "node:child_process";
import { mkdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { pathToFileURL } from "node:url";

const [nodeFolder, pagePath, examples, scratch] = process.argv.slice(2);
const { chromium } = createRequire(`${nodeFolder}/`)("playwright-core");
rmSync(scratch, { recursive: true, force: true });
mkdirSync(scratch, { recursive: true });

let failures = 0;
let checks = 0;
function expect(ok, what) {
  ++checks;
  if (!ok) {
    ++failures;
    console.log(`FAIL: ${what}`);
  }
}

const sunset = readFileSync(`${examples}/sunset16.pal`);
const sunsetWords = readFileSync(`${examples}/sunset16.gbapal`);
const twoBanks = Buffer.from(Array.from({ length: 96 }, (_, i) => (i * 37) & 255));
const merging = Buffer.from("GIMP Palette\n0 0 0\n248 0 0\n255 0 0\n0 0 0\n");
const photo = Buffer.from("ffd8ffe000104a4649460001", "hex");

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-background-networking", "--disable-component-update", "--no-first-run"],
});
const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 390, height: 844 } });
const requests = [];
context.on("request", (request) => requests.push(request.url()));
const page = await context.newPage();
page.on("pageerror", (error) => expect(false, `the page threw ${error}`));
await page.goto(pathToFileURL(pagePath).href);
await page.waitForFunction(() => document.body.dataset.ready !== undefined);
const ready = Number(await page.evaluate(() => document.body.dataset.ready));

// Several files through the file input.
await page.setInputFiles("#files", [
  { name: "sunset16.pal", mimeType: "application/octet-stream", buffer: sunset },
  { name: "two.banks.pal", mimeType: "application/octet-stream", buffer: twoBanks },
  { name: "merging.gpl", mimeType: "text/plain", buffer: merging },
  { name: "photo.jpg", mimeType: "image/jpeg", buffer: photo },
]);
await page.waitForFunction(() => document.body.dataset.converted === "3");
const text = await page.locator("#results").innerText();
expect(text.includes("a Kelvo palette: 16 colours"), "sunset16.pal is read as 16 Kelvo colours");
expect(text.includes("a GIMP palette: 4 colours"), "merging.gpl is read as a GIMP palette");
expect(text.includes("photo.jpg is a JPEG image, not a palette vexlo reads: save it as an indexed PNG"),
  "photo.jpg is refused in the command's words");
expect(text.includes("colours 1 (#f80000) and 2 (#ff0000) both become 0x001F"), "the merge is named");
expect(!text.includes("colours 0 (#000000) and 3"), "black repeated is no merge");

async function download(name) {
  const [file] = await Promise.all([page.waitForEvent("download"), page.click(`a[download="${name}"]`)]);
  return readFileSync(await file.path());
}
expect((await download("sunset16.gbapal")).equals(sunsetWords), "sunset16.gbapal holds the command's words");
const both = await download("two.banks.gbapal");
expect(both.length === 64, "two.banks.gbapal holds 32 words");
expect((await download("two.banks-bank1.gbapal")).equals(both.subarray(32)), "bank 1 alone is its 16 words");

// A drop, of a file whose name another already has.
const dropped = await page.evaluateHandle((bytes) => {
  const transfer = new DataTransfer();
  transfer.items.add(new File([new Uint8Array(bytes)], "sunset16.pal"));
  return transfer;
}, [...sunset]);
await page.dispatchEvent("#drop", "drop", { dataTransfer: dropped });
await page.waitForFunction(() => document.body.dataset.converted === "4");

// The zip: every converted file, names kept unique.
const [zipped] = await Promise.all([page.waitForEvent("download"), page.click("#zip")]);
const archive = readFileSync(await zipped.path());
const entries = {};
for (let at = 0; archive.readUInt32LE(at) === 0x04034b50;) {
  const size = archive.readUInt32LE(at + 18);
  const nameLength = archive.readUInt16LE(at + 26);
  const name = archive.subarray(at + 30, at + 30 + nameLength).toString();
  entries[name] = archive.subarray(at + 30 + nameLength, at + 30 + nameLength + size);
  at += 30 + nameLength + size;
}
expect(Object.keys(entries).sort().join(" ") === "merging.gbapal sunset16-2.gbapal sunset16.gbapal two.banks.gbapal",
  `the zip holds ${Object.keys(entries).join(" ")}`);
expect(entries["sunset16-2.gbapal"]?.equals(sunsetWords), "the dropped file's words are in the zip");

// The C array, compiled by the host's compiler, gives the same words.
const array = await page.locator("section.file pre").first().innerText();
writeFileSync(`${scratch}/words.c`, `#include <stdio.h>\n${array}\nint main(void) {
  for (unsigned i = 0; i < sizeof sunset16_palette / sizeof *sunset16_palette; ++i)
    printf("%02x%02x", sunset16_palette[i] & 255, sunset16_palette[i] >> 8);
  return 0;
}\n`);
execFileSync("cc", ["-std=c99", "-Wall", "-Werror", "-o", `${scratch}/words`, `${scratch}/words.c`]);
expect(execFileSync(`${scratch}/words`).toString() === sunsetWords.toString("hex"), "the C array holds the words");
expect((await page.locator("section.file pre").nth(1).innerText()).includes(".hword 0x"), "the assembly has .hword lines");

// A phone's width needs no sideways scrolling; every swatch takes the focus.
expect(await page.evaluate(() => document.documentElement.scrollWidth <= 390), "the page fits 390 pixels");
await page.focus(".swatch");
expect((await page.locator("#tip").innerText()).startsWith("colour 0: #"), "a focused swatch tells its colour");
expect(await page.evaluate(() => [...document.querySelectorAll(".swatch")].every((s) => s.tabIndex === 0)),
  "every swatch is reachable by keyboard");

// Figures, printed, not judged: how long a 256-colour palette takes.
const convertMs = await page.evaluate(async () => {
  const start = performance.now();
  for (let i = 0; i < 100; ++i) await window.vexlo.convert(new Uint8Array(768).map((_, k) => k));
  return (performance.now() - start) / 100;
});
// The page answers while a large palette converts: a timer keeps firing.
const longestPause = await page.evaluate(async () => {
  const large = new Uint8Array(128 * 1024 * 1024).fill(0x80);
  let last = performance.now();
  let longest = 0;
  const timer = setInterval(() => {
    longest = Math.max(longest, performance.now() - last);
    last = performance.now();
  }, 10);
  await window.vexlo.convert(large);
  clearInterval(timer);
  return longest;
});
expect(longestPause < 500, `the page paused ${longestPause.toFixed(0)} ms while a 128 MiB palette converted`);
await page.setViewportSize({ width: 1000, height: 900 });
await page.screenshot({ path: `${scratch}/page.png`, fullPage: true });
await browser.close();

const outside = requests.filter((url) => !/^(file|data|blob):/.test(url));
expect(outside.length === 0, `no request leaves the computer: ${outside.join(" ")}`);
console.log(`page ${readFileSync(pagePath).length} bytes, ready ${ready.toFixed(0)} ms after opening, ` +
  `a 256-colour palette in ${convertMs.toFixed(3)} ms (worker round trip included), ` +
  `longest pause while 128 MiB converted ${longestPause.toFixed(0)} ms; screenshot ${scratch}/page.png`);
console.log(`${checks - failures} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
