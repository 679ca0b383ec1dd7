Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'
go
sp_helpindex movcliente
go
sp_helpconstraint 'MovCliente'
go
sp_helpstats movcliente
go
