// Checks each input in SCRATCH (N.in, with N.expected: the status, the
// refusal, the words in hex) against the module MODULE, as the page calls it.
import { readFileSync, readdirSync } from "node:fs";

const [modulePath, scratch] = process.argv.slice(2);
const nothing = () => 52;
const { instance } = await WebAssembly.instantiate(readFileSync(modulePath), {
  wasi_snapshot_preview1: { fd_close: nothing, fd_seek: nothing, fd_write: nothing },
});
const library = instance.exports;
library._initialize();

function convert(bytes) {
  const at = library.vexlo_alloc(bytes.length);
  new Uint8Array(library.memory.buffer, at, bytes.length).set(bytes);
  const result = library.vexlo_convert(at, bytes.length);
  library.vexlo_free(at);
  const view = new DataView(library.memory.buffer, result);
  const words = Buffer.from(new Uint8Array(library.memory.buffer, view.getUint32(4, true), view.getUint32(8, true)));
  const refusal = Buffer.from(new Uint8Array(library.memory.buffer, result + 84, 192));
  const status = view.getInt32(0, true);
  library.vexlo_free_result(result);
  return { status, words: words.toString("hex"), refusal: refusal.subarray(0, refusal.indexOf(0)).toString() };
}

let failures = 0;
let rows = 0;
for (const name of readdirSync(scratch).filter((file) => file.endsWith(".in"))) {
  const line = name.slice(0, -3);
  const [status, message, words] = readFileSync(`${scratch}/${line}.expected`, "utf8").split("\n");
  const got = convert(readFileSync(`${scratch}/${name}`));
  ++rows;
  const wanted = status === "0" ? { status: 0, words, refusal: "" } : { status: 1, words: "", refusal: message };
  if (got.status !== wanted.status || (status === "0" && got.words !== wanted.words) || got.refusal !== wanted.refusal) {
    ++failures;
    console.log(`formats.table:${line}: got ${JSON.stringify(got).slice(0, 300)}\n  wanted ${JSON.stringify(wanted).slice(0, 300)}`);
  }
}
console.log(`${rows - failures} rows as the command reads them, ${failures} not`);
process.exit(failures === 0 && rows > 0 ? 0 : 1);
