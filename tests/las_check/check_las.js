// Reads a LAS file with an independent LAS 2.0 parser and prints what it found as one JSON
// document: version, wrap, curve mnemonics in order, curve and well parameters, the ~Other
// text, the data.
const fs = require('fs');
const { Las } = require('las-js');

async function main() {
  const text = fs.readFileSync(process.argv[2], { encoding: 'utf8' });
  const las = new Las(text, { loadFile: false });
  const out = {
    version: await las.version(),
    wrap: await las.wrap(),
    header: await las.header(),
    curves: await las.curveParams(),
    well: await las.wellParams(),
    other: await las.other(),
    data: await las.data(),
  };
  process.stdout.write(JSON.stringify(out));
}

main().catch((e) => {
  process.stderr.write(String(e && e.stack ? e.stack : e) + '\n');
  process.exit(1);
});
