# Turns what bsqldb printed for one database (run with -h and a tab as field
# terminator) into the T-SQL that brings MovCliente.DataSys to datetime null,
# applying the same rules as the conversion run:
#   - the type query's first row, lower-cased and trimmed, equal to "datetime":
#     already converted, nothing is printed (an empty type result does need it);
#   - every index whose keys name DataSys is dropped;
#   - the first constraint row only, if its type names DataSys, is dropped;
#   - every statistic whose keys name DataSys is dropped;
#   - then the column is altered.
# The drops and the change form one transaction, ended by COMMIT, as one batch.
# Each result set starts with a header line naming its columns and a line of
# dashes; the header tells which of the four queries the rows below it answer.
BEGIN { FS = "\t"; section = ""; typed = 0; converted = 0; constraint_seen = 0; n = 0 }
/^-+(\t-+)*$/ { next }
$1 == "name" && NF == 1 { section = "type"; next }
$1 == "index_name" { section = "index"; next }
$1 == "Object Name" { section = "object"; next }
$1 == "constraint_type" { section = "constraint"; next }
$1 == "statistics_name" { section = "stats"; next }
section == "type" {
  if (!typed) {
    typed = 1
    value = tolower($1)
    gsub(/^ +| +$/, "", value)
    if (value == "datetime") converted = 1
  }
  next
}
section == "index" && NF >= 3 {
  if (index(tolower($3), "datasys") > 0) drops[n++] = "Drop index MovCliente." $1
  next
}
section == "constraint" && NF >= 2 {
  if (!constraint_seen) {
    constraint_seen = 1
    if (index(tolower($1), "datasys") > 0) drops[n++] = "Alter Table MovCliente Drop Constraint  " $2
  }
  next
}
section == "stats" && NF >= 2 {
  if (index(tolower($2), "datasys") > 0) drops[n++] = "drop statistics MovCliente." $1
  next
}
END {
  if (converted) exit
  printf "SET XACT_ABORT ON;\nBEGIN TRANSACTION;\n"
  for (i = 0; i < n; i++) printf "%s;\n", drops[i]
  printf " alter table MovCliente ALTER COLUMN DataSys datetime null;\nCOMMIT TRANSACTION\n"
}
