// Checks the stand-in through node's tedious, a client written outside this project, on its default paths:
// a query with a parameter (sp_executesql by RPC, the statement named @statement), a procedure call with an
// output parameter, and the numbers of the errors it reports.
// Usage: node tedious_client_test.js PORT (tedious resolved from the working folder's node_modules)
'use strict';
const path = require('path');
const { Connection, Request, TYPES } = require(path.join(process.cwd(), 'node_modules', 'tedious'));

const port = Number(process.argv[2]);
let failures = 0;
function expect(label, actual, expected) {
  const a = JSON.stringify(actual), e = JSON.stringify(expected);
  if (a !== e) {
    console.log(`FAIL: ${label}: expected ${e}, got ${a}`);
    failures++;
  }
}

function connect() {
  return new Promise((resolve, reject) => {
    const connection = new Connection({
      server: '127.0.0.1',
      authentication: { type: 'default', options: { userName: 'sa', password: 'Tavinor#2024' } },
      options: { port, database: 'Parvimar01', encrypt: false, trustServerCertificate: true, connectTimeout: 5000 },
    });
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

// Runs a request; resolves to {rows, outputs, error}.
function run(connection, build, call) {
  return new Promise((resolve) => {
    const rows = [], outputs = {};
    const request = new Request(build.text, (error) => resolve({ rows, outputs, error }));
    for (const p of build.params || []) request.addParameter(p[0], p[1], p[2]);
    for (const p of build.outputs || []) request.addOutputParameter(p[0], p[1]);
    request.on('row', (columns) => rows.push(columns.map((c) => c.value)));
    request.on('returnValue', (name, value) => { outputs[name] = value; });
    if (call) connection.callProcedure(request); else connection.execSql(request);
  });
}

async function main() {
  const connection = await connect();
  const query = await run(connection, {
    text: 'select NumRegisto, DataSys from MovCliente where NumRegisto = @n',
    params: [['n', TYPES.Int, 1]],
  });
  expect('query error', query.error && query.error.message, undefined);
  expect('query rows', query.rows.length, 1);
  expect('query value', query.rows[0] && query.rows[0][0], 1);

  const arithmetic = await run(connection, { text: 'select 6 * 7 as answer select 2' });
  expect('two statements without ";"', arithmetic.rows, [[42], [2]]);

  const proc = await run(connection, {
    text: 'GetAcessosUtilizador',
    params: [['Utilizador', TYPES.NVarChar, 'ana']],
    outputs: [['Acesso', TYPES.Int]],
  }, true);
  expect('procedure error', proc.error && proc.error.message, undefined);
  expect('procedure output', proc.outputs.Acesso, 3);
  expect('procedure rows', proc.rows.length, 2);

  const missing = await run(connection, { text: 'select * from NaoExiste' });
  expect('missing table number', missing.error && missing.error.number, 208);
  const divide = await run(connection, { text: 'select 1/0' });
  expect('divide by zero number', divide.error && divide.error.number, 8134);
  expect('divide by zero text', divide.error && divide.error.message, 'Divide by zero error encountered.');
  const unmodelled = await run(connection, { text: 'declare @x int' });
  expect('not modelled number', unmodelled.error && unmodelled.error.number, 50001);

  connection.close();
  if (failures) process.exit(1);
  console.log('tedious: all checks passed');
}

main().catch((err) => {
  console.log('FAIL: ' + (err && err.stack ? err.stack : err));
  process.exit(1);
});
