#!/usr/bin/env node
// Turns the US ZIP codes of the npm package "zipcodes" into the rows of table
// ZIPCODES: a CSV file with the header ZIP,City,State, one row per five-digit
// US ZIP, sorted by ZIP.
//
// usage: node zipcodes_to_csv.js <package folder> <output.csv>
'use strict';

const fs = require('fs');
const path = require('path');

function csvField(text) {
  const value = String(text == null ? '' : text).trim();
  return /[",\r\n]/.test(value) ? '"' + value.replace(/"/g, '""') + '"' : value;
}

function main(argv) {
  if (argv.length !== 2) {
    process.stderr.write('usage: zipcodes_to_csv.js <package folder> <output.csv>\n');
    return 2;
  }
  const [packageDir, output] = argv;
  const { codes } = require(path.resolve(packageDir, 'lib', 'codes.js'));
  const rows = [];
  for (const key of Object.keys(codes)) {
    const entry = codes[key];
    const zip = String(entry.zip || key);
    if (!/^[0-9]{5}$/.test(zip)) continue;
    if (entry.country && entry.country !== 'US') continue;
    if (!entry.city || !entry.state) continue;
    rows.push([zip, entry.city, entry.state]);
  }
  rows.sort((a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0));
  const lines = ['ZIP,City,State'];
  for (const row of rows) lines.push(row.map(csvField).join(','));
  const temporary = output + '.tmp';
  fs.writeFileSync(temporary, lines.join('\n') + '\n');
  fs.renameSync(temporary, output);
  process.stdout.write(`ZIPCODES: ${rows.length} rows written to ${output}\n`);
  return 0;
}

process.exitCode = main(process.argv.slice(2));
